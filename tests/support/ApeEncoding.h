#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival::test {

// The Java Monkey's Audio encoder (Debian package libjmac-java), or empty when it is missing.
std::string findJmacJar();

// Compresses a wave file into an APE file with that encoder (it writes format version 3.99).
// Returns an explanation when it cannot, empty on success.
std::string encodeApe(const std::string& wav, const std::string& ape);

// Flips one bit of the stored checksum of APE frame `frame` (in a file of the newer header
// layout the encoder writes): its samples still decode, so only the checksum test can tell.
void damageFrameChecksum(std::vector<uint8_t>& apeFile, int frame);

} // namespace tarnival::test
