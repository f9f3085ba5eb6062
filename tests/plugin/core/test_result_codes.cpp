// The result-code table: every code's GBK message, the shared text of 10011 and 10019, and the
// fallback for codes outside the table.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "gbk.h"
#include "result_codes.h"

namespace {

using kova_test::Gbk;

TEST(ResultMessage, EveryCodeGivesItsMessageInGbk) {
  const struct {
    int code;
    const char* utf8;
  } table[] = {
      {0, "成功"},
      {10001, "获取用户信息失败"},
      {10002, "获取驱动准备状态失败"},
      {10003, "Pin码长度错误"},
      {10004, "验证锁登录密码失败"},
      {10005, "获取Pin码重试次数错误"},
      {10006, "未获取到登录状态"},
      {10007, "获取设备序列号失败"},
      {10008, "解析字符串失败"},
      {10009, "产生随机数失败"},
      {10010, "对称加密失败"},
      {10011, "对称解密失败"},
      {10012, "签名失败"},
      {10013, "验签失败"},
      {10014, "参数错误"},
      {10015, "读取文件失败"},
      {10016, "解析证书失败"},
      {10017, "设备不存在"},
      {10018, "获取设备信息失败"},
      {10019, "对称解密失败"},
      {10020, "私钥解密失败"},
      {10021, "公钥加密数据失败"},
      {10022, "证书验证失败"},
      {10023, "对输入的参数不支持"},
      {10024, "证书不存在"},
      {10025, "获取签名算法错误"},
      {10026, "向互通驱动程序注册失败"},
      {10027, "同步心跳验证失败"},
      {10028, "Base64数据加码失败"},
      {10029, "Base64数据解码失败"},
      {10030, "HASH数据失败"},
      {60000, "异常错误"},
  };
  std::set<int> codes;
  for (const auto& row : table) {
    codes.insert(row.code);
    const std::string expected = Gbk(row.utf8);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, GetResultMessage(row.code)) << row.code;
  }
  EXPECT_EQ(32u, codes.size());
  EXPECT_EQ(60000, CODE_EXCEPTION);
}

TEST(ResultMessage, TenThousandElevenAndNineteenShareTheirText) {
  EXPECT_EQ(GetResultMessage(10011), GetResultMessage(10019));
  EXPECT_NE(GetResultMessage(10011), GetResultMessage(10010));
}

TEST(ResultMessage, CodesOutsideTheTableGiveUnknownErrorInEightGbkBytes) {
  const std::string unknown = Gbk("未知错误");
  ASSERT_EQ(8u, unknown.size());
  for (int code : {10031, 9999, -1, 1, 59999, 60001, INT_MIN, INT_MAX}) {
    EXPECT_EQ(unknown, GetResultMessage(code)) << code;
  }
}

}  // namespace
