// The key files of signed releases. `--new-key <file>` writes two text files
// an administrator can tell apart by their first line: <file>, the private
// key, which stays with the administrator and signs releases, and
// <file>.pub, the public key, which is copied as "vantorel.pub" into the
// program directory of every workstation:
//
//   Vantorel release key 1: PRIVATE          Vantorel release key 1: public
//   ; Key 3f2a9c01d4e5b6a7. ...              ; Key 3f2a9c01d4e5b6a7. ...
//   public <128 hexadecimal digits>          public <128 hexadecimal digits>
//   private <64 hexadecimal digits>
#pragma once

#include <string>

#include "core/ecdsa.h"

// The public key's file name in a workstation's program directory.
constexpr const char* PublicKeyFileName = "vantorel.pub";

// The key's short name shown to people: the first 16 hexadecimal digits of
// its public key.
std::string KeyId(const TEcPublicKey& key);

// Makes a new key pair and writes it to `path` (private) and `path`.pub
// (public). Refuses, writing nothing, when either file exists. False with the
// reason in `problem` (a message text naming the file).
bool WriteNewKeyFiles(const std::string& path, TEcKeyPair& pair, std::string& problem);

// Reads a private key file for signing; false with the reason (a public key
// file, no key file at all, a file that cannot be read).
bool ReadPrivateKeyFile(const std::string& path, TEcKeyPair& pair, std::string& problem);

// Reads a public key file; false with the reason. A file that holds a private
// key is refused: it must not lie on workstations.
bool ReadPublicKeyFile(const std::string& path, TEcPublicKey& key, std::string& problem);
