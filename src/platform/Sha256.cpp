#include "platform/Sha256.h"

#include "platform/Error.h"

#include <openssl/evp.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace wendmoor {

struct Sha256::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256()
    : m_context(std::make_unique<Context>())
{
    if (!m_context->md || EVP_DigestInit_ex(m_context->md, EVP_sha256(), nullptr) != 1)
        throw Error(ErrorNumber::InvalidArgument, QStringLiteral("The SHA-256 digest is not available from libcrypto"));
}

Sha256::~Sha256() = default;

void Sha256::add(const void* data, std::int64_t bytes)
{
    if (bytes > 0)
        EVP_DigestUpdate(m_context->md, data, static_cast<std::size_t>(bytes));
}

QByteArray Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->md, digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

QByteArray sha256OfFile(const QString& path, const std::atomic<bool>* stop)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw fileError(
            errno, QStringLiteral("The file could not be read for its checksum:"), QDir::toNativeSeparators(path));
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Sha256 hash;
    std::vector<char> block(std::size_t(1) << 20);
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            ::close(fd);
            throw Error(ErrorNumber::ExportCancelled,
                QStringLiteral("The checksum of %1 was stopped.").arg(QDir::toNativeSeparators(path)));
        }
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw fileError(
                err, QStringLiteral("The file could not be read for its checksum:"), QDir::toNativeSeparators(path));
        }
        hash.add(block.data(), n);
    }
    ::close(fd);
    return hash.hex();
}

} // namespace wendmoor
