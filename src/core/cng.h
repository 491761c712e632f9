// The system's cryptography (CNG, bcrypt.dll), loaded at its first use: the
// program is built for systems that lack it (Windows XP) and must start there
// all the same. Nothing of it is imported statically; the hash and the
// signature modules call it through the table here.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <string>

#include "core/handles.h"

// The functions of bcrypt.dll that the program calls.
struct TCngFunctions {
    decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
    decltype(&BCryptGetProperty) GetProperty = nullptr;
    decltype(&BCryptCreateHash) CreateHash = nullptr;
    decltype(&BCryptHashData) HashData = nullptr;
    decltype(&BCryptFinishHash) FinishHash = nullptr;
    decltype(&BCryptDestroyHash) DestroyHash = nullptr;
    decltype(&BCryptGenerateKeyPair) GenerateKeyPair = nullptr;
    decltype(&BCryptFinalizeKeyPair) FinalizeKeyPair = nullptr;
    decltype(&BCryptExportKey) ExportKey = nullptr;
    decltype(&BCryptImportKeyPair) ImportKeyPair = nullptr;
    decltype(&BCryptSignHash) SignHash = nullptr;
    decltype(&BCryptVerifySignature) VerifySignature = nullptr;
    decltype(&BCryptDestroyKey) DestroyKey = nullptr;
};

// The algorithms the program uses, each opened once per process: opening a
// provider is the expensive step, creating a hash from it is cheap.
enum class TCngAlgorithm { Sha256, EcdsaP256 };

// The loaded functions; null when the system has no bcrypt.dll or it lacks
// one of them, with the reason in `problem` (a message text). Loaded once.
const TCngFunctions* CngFunctions(std::string& problem);

// The provider of the algorithm, opened at its first use; null with the
// reason in `problem` when the system cannot give it.
BCRYPT_ALG_HANDLE CngAlgorithm(TCngAlgorithm algorithm, std::string& problem);

// The message text of a failed call: its name and status.
std::string CngFailure(const char* call, NTSTATUS status);

// Owners of the handles CNG gives. They exist only once the library is
// loaded, so closing goes through the loaded table.
struct CngHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

struct CngKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

using UniqueCngHash = UniqueHandle<CngHashTraits>;
using UniqueCngKey = UniqueHandle<CngKeyTraits>;
