#include "platform/LinuxPortInput.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendmoor {
namespace {

// An ordinary file stands in for the raw port device: its byte at offset N is port N.
void writePort(const QString& path, int address, std::uint8_t value)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    bytes.resize(std::max<qsizetype>(bytes.size(), address + 1), '\0');
    bytes[address] = static_cast<char>(value);
    f.seek(0);
    f.write(bytes);
}

// Without a parallel-port device, or with one that refuses the claim, the byte at the address
// of the port device is read, afresh each time.
TEST(LinuxPortInput, ReadsTheByteAtTheAddressFromThePortDevice)
{
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    writePort(port, 0x285, 0x30);
    QFile notAParport(dir.filePath(QStringLiteral("parport0")));
    ASSERT_TRUE(notAParport.open(QIODevice::WriteOnly));
    notAParport.close();
    for (const QString& parport : { dir.filePath(QStringLiteral("no-parport")), notAParport.fileName() }) {
        LinuxPortInput input(parport, port);
        writePort(port, 0x379, 0x5f);
        EXPECT_EQ(input.Inp(0x379), 0x5f);
        EXPECT_EQ(input.Inp(0x285), 0x30);
        writePort(port, 0x379, 0xdf);
        EXPECT_EQ(input.Inp(0x379), 0xdf) << "a changed contact was not seen on the next read";
    }
}

TEST(LinuxPortInput, FailureNamesDeviceAndReason)
{
    QTemporaryDir dir;
    writePort(dir.filePath(QStringLiteral("port")), 0x379, 0x7f);
    const std::tuple<const char*, int, const char*> cases[] = {
        { "missing", 0x285, "No such file" }, // no port device
        { "port", 0x1000, "no byte" }, // address past the end
    };
    for (const auto& [name, address, reason] : cases) {
        const QString device = dir.filePath(QLatin1String(name));
        LinuxPortInput input(dir.filePath(QStringLiteral("no-parport")), device);
        try {
            (void)input.Inp(address);
            ADD_FAILURE() << name << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), ErrorNumber::PortAccess);
            EXPECT_TRUE(e.description().contains(device)) << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(QLatin1String(reason))) << e.description().toStdString();
        }
    }
}

} // namespace
} // namespace wendmoor
