#include "engine/install_receipt.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "engine/json_fields.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"

namespace nimbra {

namespace {

void encodeAcross(nlohmann::ordered_json& entry, const std::optional<CrossMove>& across) {
  if (!across) return;
  entry["aside"] = across->aside;
  entry["step"] = across->step;
}

std::optional<CrossMove> decodeAcross(const nlohmann::json& item) {
  if (!item.contains("aside") && !item.contains("step")) return std::nullopt;
  return CrossMove{json::string(item, "aside"), json::string(item, "step")};
}

}  // namespace

std::string encodeReceipt(const InstallReceipt& receipt) {
  nlohmann::ordered_json backups = nlohmann::ordered_json::array();
  for (const BackupItem& item : receipt.backups) {
    nlohmann::ordered_json entry;
    entry["original"] = item.original;
    entry["backup"] = item.backup;
    encodeAcross(entry, item.across);
    backups.push_back(std::move(entry));
  }
  nlohmann::ordered_json document;
  document["version"] = receipt.version;
  document["state"] = receipt.state;
  document["destinations"] = receipt.destinations;
  document["backups"] = std::move(backups);
  document["deploying"] = receipt.deploying;
  if (!receipt.restoring.empty()) {
    nlohmann::ordered_json restoring = nlohmann::ordered_json::array();
    for (const RestoredItem& item : receipt.restoring) {
      nlohmann::ordered_json entry = {{"from", item.from}, {"to", item.to}};
      encodeAcross(entry, item.across);
      restoring.push_back(std::move(entry));
    }
    document["restoring"] = std::move(restoring);
  }
  // Strict: every text in a receipt came from valid UTF-8 or from a path; a
  // path that is not valid UTF-8 cannot be recorded faithfully.
  try {
    return document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::json::exception&) {
    throw std::runtime_error(std::string(kFolderNameNotUTF8));
  }
}

InstallReceipt decodeReceipt(std::string_view bytes) {
  const nlohmann::json document = json::parse(bytes);
  json::requireObject(document, "the receipt");
  InstallReceipt receipt;
  receipt.version = json::string(document, "version");
  receipt.state = json::string(document, "state");
  receipt.destinations = json::strings(document, "destinations");
  for (const nlohmann::json& item : json::array(document, "backups")) {
    json::requireObject(item, "an entry of \u201cbackups\u201d");
    receipt.backups.push_back({json::string(item, "original"), json::string(item, "backup"), decodeAcross(item)});
  }
  receipt.deploying = json::strings(document, "deploying");
  if (document.contains("restoring")) {
    for (const nlohmann::json& item : json::array(document, "restoring")) {
      json::requireObject(item, "an entry of \u201crestoring\u201d");
      receipt.restoring.push_back({json::string(item, "from"), json::string(item, "to"), decodeAcross(item)});
    }
  }
  return receipt;
}

void writeReceipt(FileManager& fm, const std::filesystem::path& backupFolder, const InstallReceipt& receipt) {
  fm.writeAtomically(backupFolder / kReceiptName, encodeReceipt(receipt));
}

std::string backupFolderName(std::chrono::system_clock::time_point start, std::string_view uuid) {
  std::string time = iso8601(start);
  std::replace(time.begin(), time.end(), ':', '-');
  return time + "-" + std::string(uuid.substr(0, 8));
}

std::string backupItemName(std::size_t n, const std::filesystem::path& original) {
  return std::to_string(n) + "-" + location(original).filename().string();
}

}  // namespace nimbra
