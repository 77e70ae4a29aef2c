#ifndef CONFIGURATOR_COMMON_CRC32_H
#define CONFIGURATOR_COMMON_CRC32_H

/// \file
/// CRC-32 as used by IEEE 802.3, ZIP and zlib (reflected polynomial 0xEDB88320,
/// initial register and final XOR 0xFFFFFFFF).  None of the functions keeps state.

/// CRC-32 of size bytes at data; 0 for an empty block.
unsigned int tarvel_crc32(const void* data, unsigned int size);

/// Continues the checksum crc over size more bytes, so that checksums of
/// consecutive blocks chain: stream(stream(0, a, n), b, m) is the CRC of a then b.
unsigned int tarvel_crc32_stream(unsigned int crc, const void* data, unsigned int size);

/// CRC-32 of a zero-terminated string, without the terminator.
unsigned int tarvel_crc32_str(const char* str);

/// CRC-32 of size bytes with the skipLength bytes from the 1-based position
/// skipStart (0 counts as 1) left out.  0xFFFFFFFF when size <= skipStart.
unsigned int tarvel_crc32_rec(const void* data, unsigned int size,
                              unsigned int skipStart, unsigned int skipLength);

#endif // CONFIGURATOR_COMMON_CRC32_H
