#include "release/release_read.h"

#include "core/disk_files.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "release/release_key.h"

namespace {

TRelease Unreadable(DWORD error)
{
    TRelease release;
    release.Status = TReleaseStatus::Unreadable;
    release.Problem = SystemMessageOrCode(static_cast<int32_t>(error));
    return release;
}

TRelease TooLarge()
{
    TRelease release;
    release.Status = TReleaseStatus::Malformed;
    release.Problem = FormatMsg(MsgManifestTooLarge, std::to_string(MaxManifestBytes));
    return release;
}

}  // namespace

TRelease ReadRelease(const std::string& directory, const TEcPublicKey* key)
{
    std::string path = directory + ReleaseFileName;
    // Shared for writing and deleting: a publisher replaces the manifest
    // while workstations read it.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return {};
        return Unreadable(error);
    }
    if (!IsDiskFile(file.Get())) return Unreadable(ERROR_INVALID_FUNCTION);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) return Unreadable(GetLastError());
    if (size.QuadPart > static_cast<LONGLONG>(MaxManifestBytes)) return TooLarge();
    // One byte more than the size: a manifest that grows while it is read
    // shows as too large or is cut where the size said.
    std::string bytes(static_cast<size_t>(size.QuadPart) + 1, '\0');
    size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &read, nullptr))
            return Unreadable(GetLastError());
        if (read == 0) break;
        filled += read;
    }
    if (filled > MaxManifestBytes) return TooLarge();
    bytes.resize(filled);
    return CheckRelease(bytes, key);
}

TRelease CheckRelease(const std::string& bytes, const TEcPublicKey* key)
{
    TRelease release = ParseManifest(bytes);
    if (!key || release.Status == TReleaseStatus::Malformed) return release;
    if (!release.Signed) return release;  // Unsigned: refused where a key is required
    if (release.SignedBy != *key) {
        release.Status = TReleaseStatus::ForeignKey;
        return release;
    }
    TSha256Digest digest{};
    std::string problem;
    if (!Sha256Of(bytes.data(), release.SignedLength, digest, problem)) {
        release.Status = TReleaseStatus::Unverifiable;
        release.Problem = problem;
        return release;
    }
    switch (CheckSignature(*key, digest, release.Signature, problem)) {
    case TSignatureCheck::Matches:
        release.Status = TReleaseStatus::Good;
        break;
    case TSignatureCheck::DoesNotMatch:
        release.Status = TReleaseStatus::Altered;
        break;
    case TSignatureCheck::Failed:
        release.Status = TReleaseStatus::Unverifiable;
        release.Problem = problem;
        break;
    }
    return release;
}

bool ReleaseAccepted(const TRelease& release, bool keyRequired)
{
    return release.Status == TReleaseStatus::Good || (release.Status == TReleaseStatus::Unsigned && !keyRequired);
}

std::string DescribeRelease(const TRelease& release, const std::string& path, const TEcPublicKey* key)
{
    switch (release.Status) {
    case TReleaseStatus::Unreadable:
        return FormatMsg(MsgManifestUnreadable, path, release.Problem);
    case TReleaseStatus::Malformed:
        return FormatMsg(MsgManifestMalformed, path, release.Problem);
    case TReleaseStatus::Unsigned:
        return key ? FormatMsg(MsgManifestUnsigned, path) : std::string();
    case TReleaseStatus::ForeignKey:
        return FillMsg(MsgManifestForeignKey,
                       {path, KeyId(release.SignedBy), PublicKeyFileName, key ? KeyId(*key) : std::string()});
    case TReleaseStatus::Altered:
        return FormatMsg(MsgManifestAltered, path);
    case TReleaseStatus::Unverifiable:
        return FormatMsg(MsgManifestUnverifiable, path, release.Problem);
    case TReleaseStatus::None:
    case TReleaseStatus::Good:
        break;
    }
    return {};
}

bool SignManifest(std::string& text, const TEcKeyPair& pair, std::string& problem)
{
    TSha256Digest digest{};
    TEcSignature signature{};
    if (!Sha256Of(text.data(), text.size(), digest, problem) || !SignDigest(pair, digest, signature, problem))
        return false;
    TSignatureCheck check = CheckSignature(pair.Public, digest, signature, problem);
    if (check == TSignatureCheck::Failed) return false;
    if (check == TSignatureCheck::DoesNotMatch) {
        problem = Msg(MsgKeyHalvesDiffer);
        return false;
    }
    text += SignatureLine(signature);
    return true;
}
