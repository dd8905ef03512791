#pragma once
// CRC-64/ECMA-182 as the storage service reports it in x-oss-hash-crc64ecma: the polynomial
// 0x42F0E1EBA9EA3693 in its reflected form, initial value and final xor all ones.
#include <cstddef>
#include <cstdint>

namespace kav::oss {

// Continues a CRC over more data; start with crc = 0 (the all-ones pre- and post-conditioning
// happen inside, so calls over consecutive pieces give the CRC of the whole).
std::uint64_t Crc64Update(std::uint64_t crc, const void* data, std::size_t size);

}  // namespace kav::oss
