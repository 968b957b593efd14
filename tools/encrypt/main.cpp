// wdrx-encrypt IN OUT: encrypts a plain data file (dbase.xml, airports.xml, ...) with the
// build's data key into the format the program decrypts.
#include <exception>
#include <iostream>

#include "encrypt/encrypt.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: wdrx-encrypt IN OUT\n";
    return 2;
  }
  try {
    wdrx::encrypt::encryptFile(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "wdrx-encrypt: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
