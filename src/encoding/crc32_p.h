#ifndef CONFIGURATOR_COMMON_CRC32_P_H
#define CONFIGURATOR_COMMON_CRC32_P_H

#include <cstddef>
#include <cstdint>

// The two ways of advancing a CRC-32 register (not inverted) over a block.
// Both give the same results; the public functions use the carry-less
// multiplication one when the processor has it.  Exposed for the tests.
namespace Crc32Internal {

std::uint32_t updatePortable(std::uint32_t reg, const unsigned char* data, std::size_t size);
std::uint32_t updateClmul(std::uint32_t reg, const unsigned char* data, std::size_t size);
bool hasClmul();

} // namespace Crc32Internal

#endif // CONFIGURATOR_COMMON_CRC32_P_H
