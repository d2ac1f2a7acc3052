#include "tools/release_packer/signing_key.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "engine/platform/file_manager.h"
#include "tools/release_packer/release_packer.h"

namespace nimbra::packer {

namespace fs = std::filesystem;

namespace {

using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

std::string bioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<std::size_t>(size));
}

// Creates file with mode, never over an existing one, and writes bytes.
void writeNew(const fs::path& file, std::string_view bytes, mode_t mode) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd < 0) {
    if (errno == EEXIST) throw PackError("A key is already there; nimbra-pack never replaces one: " + file.string());
    throw std::system_error(errno, std::generic_category(), "create " + file.string());
  }
  const ssize_t written = ::write(fd, bytes.data(), bytes.size());
  const int error = errno;
  const bool flushed = ::fsync(fd) == 0;
  ::close(fd);
  if (written != static_cast<ssize_t>(bytes.size()) || !flushed) {
    throw std::system_error(written < 0 ? error : EIO, std::generic_category(), "write " + file.string());
  }
}

}  // namespace

SigningKey::SigningKey(EVP_PKEY* key) : key_(key, EVP_PKEY_free) {}

SigningKey SigningKey::generate() {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
  if (key == nullptr) throw std::runtime_error("OpenSSL could not make an Ed25519 key.");
  return SigningKey(key);
}

SigningKey SigningKey::read(const fs::path& file) {
  const std::string pem = FileManager::standard().readWholeFile(file, 64u << 10, Links::follow);
  const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
  EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (key == nullptr || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
    EVP_PKEY_free(key);
    throw PackError("The signing key " + file.string() + " is not an Ed25519 private key (nimbra-pack keygen makes one).");
  }
  return SigningKey(key);
}

std::string SigningKey::sign(std::string_view bytes) const {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::string signature(kEd25519SignatureSize, '\0');
  std::size_t size = signature.size();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                     reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1 ||
      size != kEd25519SignatureSize) {
    throw std::runtime_error("OpenSSL could not sign the release.");
  }
  return signature;
}

Ed25519PublicKey SigningKey::publicKey() const {
  Ed25519PublicKey raw{};
  std::size_t size = raw.size();
  if (EVP_PKEY_get_raw_public_key(key_.get(), raw.data(), &size) != 1 || size != raw.size()) {
    throw std::runtime_error("OpenSSL could not give the public key.");
  }
  return raw;
}

std::string SigningKey::privateKeyPEM() const {
  const Bio bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw std::runtime_error("OpenSSL could not write the private key.");
  }
  return bioText(bio.get());
}

std::string publicKeyText(const Ed25519PublicKey& key) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : key) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0x0f]);
  }
  return text + "\n";
}

void writeKeyPair(const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path privateFile = folder / kPrivateKeyFile;
  const fs::path publicFile = folder / kPublicKeyFile;
  if (fs::exists(fs::symlink_status(publicFile))) {
    throw PackError("A key is already there; nimbra-pack never replaces one: " + publicFile.string());
  }
  const SigningKey key = SigningKey::generate();
  writeNew(privateFile, key.privateKeyPEM(), 0600);
  writeNew(publicFile, publicKeyText(key.publicKey()), 0644);
}

}  // namespace nimbra::packer
