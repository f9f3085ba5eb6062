# jsoncpp 1.9.5 (Debian's source package, unpacked by cmake/install-prereqs.sh), built as a
# static library with our toolchain; its own tests and shared/object libraries are not built.
set(KOVA_JSONCPP_DIR "${KOVA_THIRD_PARTY}/jsoncpp-1.9.5")
if(NOT EXISTS "${KOVA_JSONCPP_DIR}/src/lib_json/json_reader.cpp")
  message(FATAL_ERROR "jsoncpp sources missing in ${KOVA_JSONCPP_DIR}: run cmake/install-prereqs.sh")
endif()
add_library(kova_jsoncpp STATIC
  ${KOVA_JSONCPP_DIR}/src/lib_json/json_reader.cpp
  ${KOVA_JSONCPP_DIR}/src/lib_json/json_value.cpp
  ${KOVA_JSONCPP_DIR}/src/lib_json/json_writer.cpp)
target_include_directories(kova_jsoncpp SYSTEM PUBLIC ${KOVA_JSONCPP_DIR}/include)
target_include_directories(kova_jsoncpp PRIVATE ${KOVA_JSONCPP_DIR}/src/lib_json)
