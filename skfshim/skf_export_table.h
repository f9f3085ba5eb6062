// The one table of the shim's 83 exports: every other list of them (the exports themselves,
// their driver entries and entry names, the test driver's exports, the pass-through tests and
// the expected export list of the static check) is expanded from these rows.
//
// Row: SKF_EXPORT(name, family, widths, (parameters), (arguments))
//   family     PLAIN      forwards the call unchanged
//              APPHANDLE  first argument is an application handle issued to the caller
//              TRACKING   keeps the device and application records around the call
//   widths     one letter per argument: P pointer-sized, U 32-bit integer, S BLOCKCIPHERPARAM by
//              value; checked against the parameter types at compile time
//   arguments  the parameter names, in order (a test checks the order)
//
// Include after skf_types.h with SKF_EXPORT defined; the file undefines it at the end.
// No include guard: it is meant to be expanded several times. One row per line, whatever its
// length (the static check of the built DLL reads the names from the row starts).
// clang-format off

// Device management.
SKF_EXPORT(SKF_WaitForDevEvent, PLAIN, "PPP", (LPSTR szDevName, ULONG* pulDevNameLen, ULONG* pulEvent), (szDevName, pulDevNameLen, pulEvent))
SKF_EXPORT(SKF_CancelWaitForDevEvent, PLAIN, "", (), ())
SKF_EXPORT(SKF_EnumDev, PLAIN, "UPP", (BOOL bPresent, LPSTR szNameList, ULONG* pulSize), (bPresent, szNameList, pulSize))
SKF_EXPORT(SKF_ConnectDev, TRACKING, "PP", (LPSTR szName, DEVHANDLE* phDev), (szName, phDev))
SKF_EXPORT(SKF_DisConnectDev, TRACKING, "P", (DEVHANDLE hDev), (hDev))
SKF_EXPORT(SKF_GetDevState, PLAIN, "PP", (LPSTR szDevName, ULONG* pulDevState), (szDevName, pulDevState))
SKF_EXPORT(SKF_SetLabel, PLAIN, "PP", (DEVHANDLE hDev, LPSTR szLabel), (hDev, szLabel))
SKF_EXPORT(SKF_GetDevInfo, PLAIN, "PP", (DEVHANDLE hDev, DEVINFO* pDevInfo), (hDev, pDevInfo))
SKF_EXPORT(SKF_LockDev, PLAIN, "PU", (DEVHANDLE hDev, ULONG ulTimeOut), (hDev, ulTimeOut))
SKF_EXPORT(SKF_UnlockDev, PLAIN, "P", (DEVHANDLE hDev), (hDev))
SKF_EXPORT(SKF_Transmit, PLAIN, "PPUPP", (DEVHANDLE hDev, BYTE* pbCommand, ULONG ulCommandLen, BYTE* pbData, ULONG* pulDataLen), (hDev, pbCommand, ulCommandLen, pbData, pulDataLen))

// Access control.
SKF_EXPORT(SKF_ChangeDevAuthKey, PLAIN, "PPU", (DEVHANDLE hDev, BYTE* pbKeyValue, ULONG ulKeyLen), (hDev, pbKeyValue, ulKeyLen))
SKF_EXPORT(SKF_DevAuth, PLAIN, "PPU", (DEVHANDLE hDev, BYTE* pbAuthData, ULONG ulLen), (hDev, pbAuthData, ulLen))
SKF_EXPORT(SKF_ChangePIN, APPHANDLE, "PUPPP", (HAPPLICATION hApplication, ULONG ulPINType, LPSTR szOldPin, LPSTR szNewPin, ULONG* pulRetryCount), (hApplication, ulPINType, szOldPin, szNewPin, pulRetryCount))
SKF_EXPORT(SKF_GetPINInfo, APPHANDLE, "PUPPP", (HAPPLICATION hApplication, ULONG ulPINType, ULONG* pulMaxRetryCount, ULONG* pulRemainRetryCount, BOOL* pbDefaultPin), (hApplication, ulPINType, pulMaxRetryCount, pulRemainRetryCount, pbDefaultPin))
SKF_EXPORT(SKF_VerifyPIN, APPHANDLE, "PUPP", (HAPPLICATION hApplication, ULONG ulPINType, LPSTR szPIN, ULONG* pulRetryCount), (hApplication, ulPINType, szPIN, pulRetryCount))
SKF_EXPORT(SKF_UnblockPIN, APPHANDLE, "PPPP", (HAPPLICATION hApplication, LPSTR szAdminPIN, LPSTR szNewUserPIN, ULONG* pulRetryCount), (hApplication, szAdminPIN, szNewUserPIN, pulRetryCount))
SKF_EXPORT(SKF_ClearSecureState, APPHANDLE, "P", (HAPPLICATION hApplication), (hApplication))

// Application management.
SKF_EXPORT(SKF_CreateApplication, TRACKING, "PPPUPUUP", (DEVHANDLE hDev, LPSTR szAppName, LPSTR szAdminPin, DWORD dwAdminPinRetryCount, LPSTR szUserPin, DWORD dwUserPinRetryCount, DWORD dwCreateFileRights, HAPPLICATION* phApplication), (hDev, szAppName, szAdminPin, dwAdminPinRetryCount, szUserPin, dwUserPinRetryCount, dwCreateFileRights, phApplication))
SKF_EXPORT(SKF_EnumApplication, PLAIN, "PPP", (DEVHANDLE hDev, LPSTR szAppName, ULONG* pulSize), (hDev, szAppName, pulSize))
SKF_EXPORT(SKF_DeleteApplication, PLAIN, "PP", (DEVHANDLE hDev, LPSTR szAppName), (hDev, szAppName))
SKF_EXPORT(SKF_OpenApplication, TRACKING, "PPP", (DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication), (hDev, szAppName, phApplication))
SKF_EXPORT(SKF_CloseApplication, TRACKING, "P", (HAPPLICATION hApplication), (hApplication))

// File management.
SKF_EXPORT(SKF_CreateFile, APPHANDLE, "PPUUU", (HAPPLICATION hApplication, LPSTR szFileName, ULONG ulFileSize, ULONG ulReadRights, ULONG ulWriteRights), (hApplication, szFileName, ulFileSize, ulReadRights, ulWriteRights))
SKF_EXPORT(SKF_DeleteFile, APPHANDLE, "PP", (HAPPLICATION hApplication, LPSTR szFileName), (hApplication, szFileName))
SKF_EXPORT(SKF_EnumFiles, APPHANDLE, "PPP", (HAPPLICATION hApplication, LPSTR szFileList, ULONG* pulSize), (hApplication, szFileList, pulSize))
SKF_EXPORT(SKF_GetFileInfo, APPHANDLE, "PPP", (HAPPLICATION hApplication, LPSTR szFileName, FILEATTRIBUTE* pFileInfo), (hApplication, szFileName, pFileInfo))
SKF_EXPORT(SKF_ReadFile, APPHANDLE, "PPUUPP", (HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize, BYTE* pbOutData, ULONG* pulOutLen), (hApplication, szFileName, ulOffset, ulSize, pbOutData, pulOutLen))
SKF_EXPORT(SKF_WriteFile, APPHANDLE, "PPUPU", (HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, BYTE* pbData, ULONG ulSize), (hApplication, szFileName, ulOffset, pbData, ulSize))

// Container management.
SKF_EXPORT(SKF_CreateContainer, APPHANDLE, "PPP", (HAPPLICATION hApplication, LPSTR szContainerName, HCONTAINER* phContainer), (hApplication, szContainerName, phContainer))
SKF_EXPORT(SKF_DeleteContainer, APPHANDLE, "PP", (HAPPLICATION hApplication, LPSTR szContainerName), (hApplication, szContainerName))
SKF_EXPORT(SKF_EnumContainer, APPHANDLE, "PPP", (HAPPLICATION hApplication, LPSTR szContainerName, ULONG* pulSize), (hApplication, szContainerName, pulSize))
SKF_EXPORT(SKF_OpenContainer, APPHANDLE, "PPP", (HAPPLICATION hApplication, LPSTR szContainerName, HCONTAINER* phContainer), (hApplication, szContainerName, phContainer))
SKF_EXPORT(SKF_CloseContainer, PLAIN, "P", (HCONTAINER hContainer), (hContainer))
SKF_EXPORT(SKF_GetContainerType, PLAIN, "PP", (HCONTAINER hContainer, ULONG* pulContainerType), (hContainer, pulContainerType))
SKF_EXPORT(SKF_ImportCertificate, PLAIN, "PUPU", (HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbCert, ULONG ulCertLen), (hContainer, bSignFlag, pbCert, ulCertLen))
SKF_EXPORT(SKF_ExportCertificate, PLAIN, "PUPP", (HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbCert, ULONG* pulCertLen), (hContainer, bSignFlag, pbCert, pulCertLen))

// Cryptographic services.
SKF_EXPORT(SKF_GenRandom, PLAIN, "PPU", (DEVHANDLE hDev, BYTE* pbRandom, ULONG ulRandomLen), (hDev, pbRandom, ulRandomLen))
SKF_EXPORT(SKF_GenExtRSAKey, PLAIN, "PUP", (DEVHANDLE hDev, ULONG ulBitsLen, RSAPRIVATEKEYBLOB* pBlob), (hDev, ulBitsLen, pBlob))
SKF_EXPORT(SKF_GenRSAKeyPair, PLAIN, "PUP", (HCONTAINER hContainer, ULONG ulBitsLen, RSAPUBLICKEYBLOB* pBlob), (hContainer, ulBitsLen, pBlob))
SKF_EXPORT(SKF_ImportRSAKeyPair, PLAIN, "PUPUPU", (HCONTAINER hContainer, ULONG ulSymAlgId, BYTE* pbWrappedKey, ULONG ulWrappedKeyLen, BYTE* pbEncryptedData, ULONG ulEncryptedDataLen), (hContainer, ulSymAlgId, pbWrappedKey, ulWrappedKeyLen, pbEncryptedData, ulEncryptedDataLen))
SKF_EXPORT(SKF_RSASignData, PLAIN, "PPUPP", (HCONTAINER hContainer, BYTE* pbData, ULONG ulDataLen, BYTE* pbSignature, ULONG* pulSignLen), (hContainer, pbData, ulDataLen, pbSignature, pulSignLen))
SKF_EXPORT(SKF_RSAVerify, PLAIN, "PPPUPU", (DEVHANDLE hDev, RSAPUBLICKEYBLOB* pRSAPubKeyBlob, BYTE* pbData, ULONG ulDataLen, BYTE* pbSignature, ULONG ulSignLen), (hDev, pRSAPubKeyBlob, pbData, ulDataLen, pbSignature, ulSignLen))
SKF_EXPORT(SKF_RSAExportSessionKey, PLAIN, "PUPPPP", (HCONTAINER hContainer, ULONG ulAlgId, RSAPUBLICKEYBLOB* pPubKey, BYTE* pbData, ULONG* pulDataLen, HANDLE* phSessionKey), (hContainer, ulAlgId, pPubKey, pbData, pulDataLen, phSessionKey))
SKF_EXPORT(SKF_ExtRSAPubKeyOperation, PLAIN, "PPPUPP", (DEVHANDLE hDev, RSAPUBLICKEYBLOB* pRSAPubKeyBlob, BYTE* pbInput, ULONG ulInputLen, BYTE* pbOutput, ULONG* pulOutputLen), (hDev, pRSAPubKeyBlob, pbInput, ulInputLen, pbOutput, pulOutputLen))
SKF_EXPORT(SKF_ExtRSAPriKeyOperation, PLAIN, "PPPUPP", (DEVHANDLE hDev, RSAPRIVATEKEYBLOB* pRSAPriKeyBlob, BYTE* pbInput, ULONG ulInputLen, BYTE* pbOutput, ULONG* pulOutputLen), (hDev, pRSAPriKeyBlob, pbInput, ulInputLen, pbOutput, pulOutputLen))
SKF_EXPORT(SKF_GenECCKeyPair, PLAIN, "PUP", (HCONTAINER hContainer, ULONG ulAlgId, ECCPUBLICKEYBLOB* pBlob), (hContainer, ulAlgId, pBlob))
SKF_EXPORT(SKF_ImportECCKeyPair, PLAIN, "PP", (HCONTAINER hContainer, PENVELOPEDKEYBLOB pEnvelopedKeyBlob), (hContainer, pEnvelopedKeyBlob))
SKF_EXPORT(SKF_ECCSignData, PLAIN, "PPUP", (HCONTAINER hContainer, BYTE* pbData, ULONG ulDataLen, PECCSIGNATUREBLOB pSignature), (hContainer, pbData, ulDataLen, pSignature))
SKF_EXPORT(SKF_ECCVerify, PLAIN, "PPPUP", (DEVHANDLE hDev, ECCPUBLICKEYBLOB* pECCPubKeyBlob, BYTE* pbData, ULONG ulDataLen, PECCSIGNATUREBLOB pSignature), (hDev, pECCPubKeyBlob, pbData, ulDataLen, pSignature))
SKF_EXPORT(SKF_ECCExportSessionKey, PLAIN, "PUPPP", (HCONTAINER hContainer, ULONG ulAlgId, ECCPUBLICKEYBLOB* pPubKey, PECCCIPHERBLOB pData, HANDLE* phSessionKey), (hContainer, ulAlgId, pPubKey, pData, phSessionKey))
SKF_EXPORT(SKF_ExtECCEncrypt, PLAIN, "PPPUP", (DEVHANDLE hDev, ECCPUBLICKEYBLOB* pECCPubKeyBlob, BYTE* pbPlainText, ULONG ulPlainTextLen, PECCCIPHERBLOB pCipherText), (hDev, pECCPubKeyBlob, pbPlainText, ulPlainTextLen, pCipherText))
SKF_EXPORT(SKF_ExtECCDecrypt, PLAIN, "PPPPP", (DEVHANDLE hDev, ECCPRIVATEKEYBLOB* pECCPriKeyBlob, PECCCIPHERBLOB pCipherText, BYTE* pbPlainText, ULONG* pulPlainTextLen), (hDev, pECCPriKeyBlob, pCipherText, pbPlainText, pulPlainTextLen))
SKF_EXPORT(SKF_ExtECCSign, PLAIN, "PPPUP", (DEVHANDLE hDev, ECCPRIVATEKEYBLOB* pECCPriKeyBlob, BYTE* pbData, ULONG ulDataLen, PECCSIGNATUREBLOB pSignature), (hDev, pECCPriKeyBlob, pbData, ulDataLen, pSignature))
SKF_EXPORT(SKF_ExtECCVerify, PLAIN, "PPPUP", (DEVHANDLE hDev, ECCPUBLICKEYBLOB* pECCPubKeyBlob, BYTE* pbData, ULONG ulDataLen, PECCSIGNATUREBLOB pSignature), (hDev, pECCPubKeyBlob, pbData, ulDataLen, pSignature))
SKF_EXPORT(SKF_GenerateAgreementDataWithECC, PLAIN, "PUPPUP", (HCONTAINER hContainer, ULONG ulAlgId, ECCPUBLICKEYBLOB* pTempECCPubKeyBlob, BYTE* pbID, ULONG ulIDLen, HANDLE* phAgreementHandle), (hContainer, ulAlgId, pTempECCPubKeyBlob, pbID, ulIDLen, phAgreementHandle))
SKF_EXPORT(SKF_GenerateAgreementDataAndKeyWithECC, PLAIN, "PUPPPPUPUP", (HANDLE hContainer, ULONG ulAlgId, ECCPUBLICKEYBLOB* pSponsorECCPubKeyBlob, ECCPUBLICKEYBLOB* pSponsorTempECCPubKeyBlob, ECCPUBLICKEYBLOB* pTempECCPubKeyBlob, BYTE* pbID, ULONG ulIDLen, BYTE* pbSponsorID, ULONG ulSponsorIDLen, HANDLE* phKeyHandle), (hContainer, ulAlgId, pSponsorECCPubKeyBlob, pSponsorTempECCPubKeyBlob, pTempECCPubKeyBlob, pbID, ulIDLen, pbSponsorID, ulSponsorIDLen, phKeyHandle))
SKF_EXPORT(SKF_GenerateKeyWithECC, PLAIN, "PPPPUP", (HANDLE hAgreementHandle, ECCPUBLICKEYBLOB* pECCPubKeyBlob, ECCPUBLICKEYBLOB* pTempECCPubKeyBlob, BYTE* pbID, ULONG ulIDLen, HANDLE* phKeyHandle), (hAgreementHandle, pECCPubKeyBlob, pTempECCPubKeyBlob, pbID, ulIDLen, phKeyHandle))
SKF_EXPORT(SKF_ExportPublicKey, PLAIN, "PUPP", (HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbBlob, ULONG* pulBlobLen), (hContainer, bSignFlag, pbBlob, pulBlobLen))
SKF_EXPORT(SKF_ImportSessionKey, PLAIN, "PUPUP", (HCONTAINER hContainer, ULONG ulAlgId, BYTE* pbWrapedData, ULONG ulWrapedLen, HANDLE* phKey), (hContainer, ulAlgId, pbWrapedData, ulWrapedLen, phKey))
SKF_EXPORT(SKF_SetSymmKey, PLAIN, "PPUP", (DEVHANDLE hDev, BYTE* pbKey, ULONG ulAlgID, HANDLE* phKey), (hDev, pbKey, ulAlgID, phKey))
SKF_EXPORT(SKF_EncryptInit, PLAIN, "PS", (HANDLE hKey, BLOCKCIPHERPARAM EncryptParam), (hKey, EncryptParam))
SKF_EXPORT(SKF_Encrypt, PLAIN, "PPUPP", (HANDLE hKey, BYTE* pbData, ULONG ulDataLen, BYTE* pbEncryptedData, ULONG* pulEncryptedLen), (hKey, pbData, ulDataLen, pbEncryptedData, pulEncryptedLen))
SKF_EXPORT(SKF_EncryptUpdate, PLAIN, "PPUPP", (HANDLE hKey, BYTE* pbData, ULONG ulDataLen, BYTE* pbEncryptedData, ULONG* pulEncryptedLen), (hKey, pbData, ulDataLen, pbEncryptedData, pulEncryptedLen))
SKF_EXPORT(SKF_EncryptFinal, PLAIN, "PPP", (HANDLE hKey, BYTE* pbEncryptedData, ULONG* ulEncryptedDataLen), (hKey, pbEncryptedData, ulEncryptedDataLen))
SKF_EXPORT(SKF_DecryptInit, PLAIN, "PS", (HANDLE hKey, BLOCKCIPHERPARAM DecryptParam), (hKey, DecryptParam))
SKF_EXPORT(SKF_Decrypt, PLAIN, "PPUPP", (HANDLE hKey, BYTE* pbEncryptedData, ULONG ulEncryptedLen, BYTE* pbData, ULONG* pulDataLen), (hKey, pbEncryptedData, ulEncryptedLen, pbData, pulDataLen))
SKF_EXPORT(SKF_DecryptUpdate, PLAIN, "PPUPP", (HANDLE hKey, BYTE* pbEncryptedData, ULONG ulEncryptedLen, BYTE* pbData, ULONG* pulDataLen), (hKey, pbEncryptedData, ulEncryptedLen, pbData, pulDataLen))
SKF_EXPORT(SKF_DecryptFinal, PLAIN, "PPP", (HANDLE hKey, BYTE* pbDecryptedData, ULONG* pulDecryptedDataLen), (hKey, pbDecryptedData, pulDecryptedDataLen))
SKF_EXPORT(SKF_DigestInit, PLAIN, "PUPPUP", (DEVHANDLE hDev, ULONG ulAlgID, ECCPUBLICKEYBLOB* pPubKey, unsigned char* pucID, ULONG ulIDLen, HANDLE* phHash), (hDev, ulAlgID, pPubKey, pucID, ulIDLen, phHash))
SKF_EXPORT(SKF_Digest, PLAIN, "PPUPP", (HANDLE hHash, BYTE* pbData, ULONG ulDataLen, BYTE* pbHashData, ULONG* pulHashLen), (hHash, pbData, ulDataLen, pbHashData, pulHashLen))
SKF_EXPORT(SKF_DigestUpdate, PLAIN, "PPU", (HANDLE hHash, BYTE* pbData, ULONG ulDataLen), (hHash, pbData, ulDataLen))
SKF_EXPORT(SKF_DigestFinal, PLAIN, "PPP", (HANDLE hHash, BYTE* pHashData, ULONG* pulHashLen), (hHash, pHashData, pulHashLen))
SKF_EXPORT(SKF_MacInit, PLAIN, "PPP", (HANDLE hKey, BLOCKCIPHERPARAM* pMacParam, HANDLE* phMac), (hKey, pMacParam, phMac))
SKF_EXPORT(SKF_Mac, PLAIN, "PPUPP", (HANDLE hMac, BYTE* pbData, ULONG ulDataLen, BYTE* pbMacData, ULONG* pulMacLen), (hMac, pbData, ulDataLen, pbMacData, pulMacLen))
SKF_EXPORT(SKF_MacUpdate, PLAIN, "PPU", (HANDLE hMac, BYTE* pbData, ULONG ulDataLen), (hMac, pbData, ulDataLen))
SKF_EXPORT(SKF_MacFinal, PLAIN, "PPP", (HANDLE hMac, BYTE* pbMacData, ULONG* pulMacDataLen), (hMac, pbMacData, pulMacDataLen))
SKF_EXPORT(SKF_CloseHandle, PLAIN, "P", (HANDLE hHandle), (hHandle))

// Further functions the driver offers; only their argument widths are fixed, so the shim
// passes them on as opaque values of those widths.
SKF_EXPORT(SKF_RSADecrypt, PLAIN, "PPUPP", (HANDLE hHandle, LPVOID pArg2, ULONG ulArg3, LPVOID pArg4, LPVOID pArg5), (hHandle, pArg2, ulArg3, pArg4, pArg5))
SKF_EXPORT(SKF_ECCDecrypt, PLAIN, "PPPP", (HANDLE hHandle, LPVOID pArg2, LPVOID pArg3, LPVOID pArg4), (hHandle, pArg2, pArg3, pArg4))
SKF_EXPORT(SKF_ExportCACertificate, PLAIN, "PPP", (HANDLE hHandle, LPVOID pArg2, LPVOID pArg3), (hHandle, pArg2, pArg3))
SKF_EXPORT(SKF_ImportCACertificate, PLAIN, "PPU", (HANDLE hHandle, LPVOID pArg2, ULONG ulArg3), (hHandle, pArg2, ulArg3))
SKF_EXPORT(SKFX_PriKeyDecrypt, PLAIN, "PUPUPP", (HANDLE hHandle, ULONG ulArg2, LPVOID pArg3, ULONG ulArg4, LPVOID pArg5, LPVOID pArg6), (hHandle, ulArg2, pArg3, ulArg4, pArg5, pArg6))

// clang-format on

#undef SKF_EXPORT
