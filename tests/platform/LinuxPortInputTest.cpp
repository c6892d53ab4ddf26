#include "platform/LinuxPortInput.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendmoor {
namespace {

// An ordinary file stands in for the raw port device: its byte at offset N is port N.
class PortFile {
public:
    PortFile()
        : path(dir.path() + QStringLiteral("/port"))
    {
        write(0x379, 0x7f);
    }

    void write(int address, std::uint8_t value)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        if (bytes.size() <= address)
            bytes.resize(address + 1, '\0');
        bytes[address] = static_cast<char>(value);
        f.seek(0);
        f.write(bytes);
    }

    QTemporaryDir dir;
    QString path;
};

// Without a parallel-port device, or with one that refuses the claim, the byte at the address
// of the port device is read, afresh each time.
TEST(LinuxPortInput, ReadsTheByteAtTheAddressFromThePortDevice)
{
    PortFile port;
    port.write(0x285, 0x30);
    const QString notAParport = port.dir.path() + QStringLiteral("/parport0");
    QFile f(notAParport);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QString& parport : {port.dir.path() + QStringLiteral("/no-parport"), notAParport}) {
        LinuxPortInput input(parport, port.path);
        port.write(0x379, 0x5f);
        EXPECT_EQ(input.Inp(0x379), 0x5f);
        EXPECT_EQ(input.Inp(0x285), 0x30);
        port.write(0x379, 0xdf);
        EXPECT_EQ(input.Inp(0x379), 0xdf) << "a changed contact was not seen on the next read";
    }
}

struct FailureCase {
    const char* what;
    QString portDevice; // relative to the temporary folder
    int address;
    const char* reason; // part of the system's reason expected in the text
};

TEST(LinuxPortInput, FailureNamesDeviceAndReason)
{
    PortFile port;
    const std::vector<FailureCase> cases = {
        { "missing port device", QStringLiteral("missing"), 0x285, "No such file" },
        { "address past the end", QStringLiteral("port"), 0x1000, "no byte" },
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString device = port.dir.path() + QLatin1Char('/') + c.portDevice;
        LinuxPortInput input(port.dir.path() + QStringLiteral("/no-parport"), device);
        try {
            (void)input.Inp(c.address);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), ErrorNumber::PortAccess);
            EXPECT_TRUE(e.description().contains(device)) << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(QLatin1String(c.reason))) << e.description().toStdString();
        }
    }
}

} // namespace
} // namespace wendmoor
