#include "Fakes.h"

#include "platform/Error.h"

namespace wendmoor::test {

std::uint8_t FakePortInput::Inp(int address)
{
    ++reads;
    const auto it = bytes.find(address);
    if (it == bytes.end())
        throw Error(ErrorNumber::PortAccess, QStringLiteral("No port at address %1").arg(address));
    return *it;
}

} // namespace wendmoor::test
