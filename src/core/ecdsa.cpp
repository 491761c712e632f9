#include "core/ecdsa.h"

#include <cstring>
#include <vector>

namespace {

constexpr ULONG CoordinateSize = 32;
// What BCryptVerifySignature gives for a signature that does not match.
constexpr NTSTATUS StatusInvalidSignature = static_cast<NTSTATUS>(0xC000A000);

// A key blob as CNG imports and exports it: the header, X, Y and, for a
// private key, d.
std::vector<uint8_t> KeyBlob(ULONG magic, const TEcPublicKey& point, const TEcPrivateKey* secret)
{
    BCRYPT_ECCKEY_BLOB header{magic, CoordinateSize};
    std::vector<uint8_t> blob(sizeof header + point.size() + (secret ? secret->size() : 0));
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, point.data(), point.size());
    if (secret) std::memcpy(blob.data() + sizeof header + point.size(), secret->data(), secret->size());
    return blob;
}

bool ImportKey(const std::vector<uint8_t>& blob, const wchar_t* type, UniqueCngKey& key, std::string& problem)
{
    BCRYPT_ALG_HANDLE algorithm = CngAlgorithm(TCngAlgorithm::EcdsaP256, problem);
    if (!algorithm) return false;
    NTSTATUS status = CngFunctions(problem)->ImportKeyPair(algorithm, nullptr, type, key.Put(),
                                                           const_cast<PUCHAR>(blob.data()),
                                                           static_cast<ULONG>(blob.size()), 0);
    if (BCRYPT_SUCCESS(status)) return true;
    key.Release();  // nothing was made that could be destroyed
    problem = CngFailure("BCryptImportKeyPair", status);
    return false;
}

}  // namespace

bool MakeEcKeyPair(TEcKeyPair& pair, std::string& problem)
{
    BCRYPT_ALG_HANDLE algorithm = CngAlgorithm(TCngAlgorithm::EcdsaP256, problem);
    if (!algorithm) return false;
    const TCngFunctions* cng = CngFunctions(problem);
    UniqueCngKey key;
    NTSTATUS status = cng->GenerateKeyPair(algorithm, key.Put(), 256, 0);
    if (!BCRYPT_SUCCESS(status)) {
        key.Release();
        problem = CngFailure("BCryptGenerateKeyPair", status);
        return false;
    }
    status = cng->FinalizeKeyPair(key.Get(), 0);
    if (!BCRYPT_SUCCESS(status)) {
        problem = CngFailure("BCryptFinalizeKeyPair", status);
        return false;
    }
    BCRYPT_ECCKEY_BLOB header{};
    std::vector<uint8_t> blob(sizeof header + 3 * CoordinateSize);
    ULONG written = 0;
    status = cng->ExportKey(key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                            &written, 0);
    if (!BCRYPT_SUCCESS(status)) {
        problem = CngFailure("BCryptExportKey", status);
        return false;
    }
    std::memcpy(&header, blob.data(), sizeof header);
    if (written != blob.size() || header.dwMagic != BCRYPT_ECDSA_PRIVATE_P256_MAGIC || header.cbKey != CoordinateSize) {
        problem = CngFailure("BCryptExportKey", 0);
        return false;
    }
    std::memcpy(pair.Public.data(), blob.data() + sizeof header, pair.Public.size());
    std::memcpy(pair.Private.data(), blob.data() + sizeof header + pair.Public.size(), pair.Private.size());
    SecureZeroMemory(blob.data(), blob.size());
    return true;
}

bool SignDigest(const TEcKeyPair& pair, const TSha256Digest& digest, TEcSignature& signature, std::string& problem)
{
    std::vector<uint8_t> blob = KeyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, pair.Public, &pair.Private);
    UniqueCngKey key;
    bool imported = ImportKey(blob, BCRYPT_ECCPRIVATE_BLOB, key, problem);
    SecureZeroMemory(blob.data(), blob.size());
    if (!imported) return false;
    // The buffer is given at its known size: asked for the size first, Wine
    // answers 32 and then refuses a buffer of 32.
    ULONG written = 0;
    NTSTATUS status = CngFunctions(problem)->SignHash(key.Get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                                      static_cast<ULONG>(digest.size()), signature.data(),
                                                      static_cast<ULONG>(signature.size()), &written, 0);
    if (!BCRYPT_SUCCESS(status) || written != signature.size()) {
        problem = CngFailure("BCryptSignHash", status);
        return false;
    }
    return true;
}

TSignatureCheck CheckSignature(const TEcPublicKey& key, const TSha256Digest& digest, const TEcSignature& signature,
                               std::string& problem)
{
    UniqueCngKey handle;
    if (!ImportKey(KeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, key, nullptr), BCRYPT_ECCPUBLIC_BLOB, handle, problem))
        return TSignatureCheck::Failed;
    NTSTATUS status = CngFunctions(problem)->VerifySignature(handle.Get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                                             static_cast<ULONG>(digest.size()),
                                                             const_cast<PUCHAR>(signature.data()),
                                                             static_cast<ULONG>(signature.size()), 0);
    if (BCRYPT_SUCCESS(status)) return TSignatureCheck::Matches;
    if (status == StatusInvalidSignature) return TSignatureCheck::DoesNotMatch;
    problem = CngFailure("BCryptVerifySignature", status);
    return TSignatureCheck::Failed;
}
