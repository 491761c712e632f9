#include "core/cng.h"

#include <cstdio>

#include "core/errors.h"
#include "core/messages.h"

namespace {

struct TCngLibrary {
    // Declared first, so it is freed after the providers are closed.
    UniqueModule Module;
    TCngFunctions Functions;
    bool Tried = false;
    bool Ready = false;
    std::string Problem;
    BCRYPT_ALG_HANDLE Algorithms[2] = {};
    std::string AlgorithmProblems[2];

    ~TCngLibrary()
    {
        for (BCRYPT_ALG_HANDLE algorithm : Algorithms)
            if (algorithm) Functions.CloseAlgorithmProvider(algorithm, 0);  // the process ends: nothing to report
    }
};

TCngLibrary Library;

template <typename Function>
bool Bind(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(GetProcAddress(Library.Module.Get(), name));
    if (!function) Library.Problem = FormatMsg(MsgCngMissingFunction, name);
    return function != nullptr;
}

void Load()
{
    Library.Tried = true;
    {
        ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        Library.Module.Reset(LoadLibraryA("bcrypt.dll"));
    }
    if (!Library.Module) {
        DWORD error = GetLastError();
        Library.Problem = FormatMsg(MsgCngUnavailable, SystemMessageOrCode(static_cast<int32_t>(error)));
        return;
    }
    TCngFunctions& f = Library.Functions;
    Library.Ready = Bind(f.OpenAlgorithmProvider, "BCryptOpenAlgorithmProvider") &&
                    Bind(f.CloseAlgorithmProvider, "BCryptCloseAlgorithmProvider") &&
                    Bind(f.GetProperty, "BCryptGetProperty") && Bind(f.CreateHash, "BCryptCreateHash") &&
                    Bind(f.HashData, "BCryptHashData") && Bind(f.FinishHash, "BCryptFinishHash") &&
                    Bind(f.DestroyHash, "BCryptDestroyHash") && Bind(f.GenerateKeyPair, "BCryptGenerateKeyPair") &&
                    Bind(f.FinalizeKeyPair, "BCryptFinalizeKeyPair") && Bind(f.ExportKey, "BCryptExportKey") &&
                    Bind(f.ImportKeyPair, "BCryptImportKeyPair") && Bind(f.SignHash, "BCryptSignHash") &&
                    Bind(f.VerifySignature, "BCryptVerifySignature") && Bind(f.DestroyKey, "BCryptDestroyKey");
}

}  // namespace

const TCngFunctions* CngFunctions(std::string& problem)
{
    if (!Library.Tried) Load();
    if (!Library.Ready) {
        problem = Library.Problem;
        return nullptr;
    }
    return &Library.Functions;
}

BCRYPT_ALG_HANDLE CngAlgorithm(TCngAlgorithm algorithm, std::string& problem)
{
    const TCngFunctions* cng = CngFunctions(problem);
    if (!cng) return nullptr;
    size_t slot = static_cast<size_t>(algorithm);
    if (!Library.Algorithms[slot] && Library.AlgorithmProblems[slot].empty()) {
        const wchar_t* name = algorithm == TCngAlgorithm::Sha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_ECDSA_P256_ALGORITHM;
        NTSTATUS status = cng->OpenAlgorithmProvider(&Library.Algorithms[slot], name, nullptr, 0);
        if (!BCRYPT_SUCCESS(status)) {
            Library.Algorithms[slot] = nullptr;
            Library.AlgorithmProblems[slot] = CngFailure("BCryptOpenAlgorithmProvider", status);
        }
    }
    if (!Library.Algorithms[slot]) problem = Library.AlgorithmProblems[slot];
    return Library.Algorithms[slot];
}

std::string CngFailure(const char* call, NTSTATUS status)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    return FormatMsg(MsgCngCallFailed, call, code);
}

void CngHashTraits::Close(Type h) noexcept
{
    Library.Functions.DestroyHash(h);  // a hash object is memory of ours: nothing to report
}

void CngKeyTraits::Close(Type h) noexcept
{
    Library.Functions.DestroyKey(h);  // a key object is memory of ours: nothing to report
}
