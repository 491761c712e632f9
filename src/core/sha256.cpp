#include "core/sha256.h"

namespace {

// BCryptHashData takes a ULONG count: larger inputs go in parts.
constexpr size_t LargestPart = 1u << 30;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool TSha256::Begin(std::string& problem)
{
    m_hash.Reset();
    m_problem.clear();
    BCRYPT_ALG_HANDLE algorithm = CngAlgorithm(TCngAlgorithm::Sha256, problem);
    if (!algorithm) return false;
    const TCngFunctions* cng = CngFunctions(problem);
    if (m_object.empty()) {
        DWORD length = 0;
        ULONG written = 0;
        NTSTATUS status = cng->GetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                           sizeof length, &written, 0);
        if (!BCRYPT_SUCCESS(status)) {
            problem = CngFailure("BCryptGetProperty", status);
            return false;
        }
        m_object.resize(length ? length : 1);
    }
    NTSTATUS status = cng->CreateHash(algorithm, m_hash.Put(), m_object.data(), static_cast<ULONG>(m_object.size()),
                                      nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        m_hash.Release();  // nothing was made that could be destroyed
        problem = CngFailure("BCryptCreateHash", status);
        return false;
    }
    return true;
}

void TSha256::Feed(const void* data, size_t size)
{
    if (!m_hash || !m_problem.empty()) return;
    std::string unused;
    const TCngFunctions* cng = CngFunctions(unused);  // loaded: the hash exists
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        ULONG part = static_cast<ULONG>(size < LargestPart ? size : LargestPart);
        NTSTATUS status = cng->HashData(m_hash.Get(), bytes, part, 0);
        if (!BCRYPT_SUCCESS(status)) {
            m_problem = CngFailure("BCryptHashData", status);
            return;
        }
        bytes += part;
        size -= part;
    }
}

bool TSha256::Finish(TSha256Digest& digest, std::string& problem)
{
    if (!m_hash) {
        problem = m_problem;
        return false;
    }
    if (m_problem.empty()) {
        std::string unused;
        NTSTATUS status = CngFunctions(unused)->FinishHash(m_hash.Get(), digest.data(), digest.size(), 0);
        if (!BCRYPT_SUCCESS(status)) m_problem = CngFailure("BCryptFinishHash", status);
    }
    m_hash.Reset();
    problem = m_problem;
    return m_problem.empty();
}

bool Sha256Of(const void* data, size_t size, TSha256Digest& digest, std::string& problem)
{
    TSha256 hash;
    if (!hash.Begin(problem)) return false;
    hash.Feed(data, size);
    return hash.Finish(digest, problem);
}

std::string HexText(const uint8_t* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        text[2 * i] = digits[data[i] >> 4];
        text[2 * i + 1] = digits[data[i] & 15];
    }
    return text;
}

bool ParseHex(const std::string& text, uint8_t* data, size_t size)
{
    if (text.size() != 2 * size) return false;
    for (size_t i = 0; i < size; ++i) {
        int high = HexDigit(text[2 * i]);
        int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        data[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}
