#pragma once
#include <string>

namespace tarnival::test {

// The Java Monkey's Audio encoder (Debian package libjmac-java), or empty when it is missing.
std::string findJmacJar();

// Compresses a wave file into an APE file with that encoder (it writes format version 3.99).
// Returns an explanation when it cannot, empty on success.
std::string encodeApe(const std::string& wav, const std::string& ape);

} // namespace tarnival::test
