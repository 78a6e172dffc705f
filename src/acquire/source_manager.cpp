// The source manager: manager-level triplets, source selection and routing.
#include "acquire/source_manager.h"

#include <cstring>

#include "platform/settings.h"

namespace acquire {

namespace {

bool SameName(const TW_IDENTITY& a, const char* name) {
  return std::strncmp(a.ProductName, name, sizeof(a.ProductName)) == 0;
}

}  // namespace

SourceManager::SourceManager(std::unique_ptr<SourceDriver> driver, platform::Settings* settings,
                             SourceChooser chooser)
    : driver_(std::move(driver)), settings_(settings), chooser_(std::move(chooser)) {}

SourceManager::~SourceManager() = default;

TW_UINT16 SourceManager::Fail(TW_UINT16 condition) {
  condition_ = condition;
  return TWRC_FAILURE;
}

std::optional<size_t> SourceManager::DefaultIndex(const std::vector<TW_IDENTITY>& sources) const {
  if (sources.empty()) return std::nullopt;
  if (settings_ != nullptr) {
    const std::string last = settings_->GetString(kSourceSettingsSection, kSourceSettingsKey, "");
    for (size_t i = 0; i < sources.size(); ++i)
      if (!last.empty() && SameName(sources[i], last.c_str())) return i;
  }
  return 0;
}

TW_UINT16 SourceManager::Identity(TW_UINT16 msg, TW_IDENTITY* identity) {
  if (identity == nullptr) return Fail(TWCC_BADVALUE);
  switch (msg) {
    case MSG_GETFIRST:
      listing_ = driver_->List();
      listingNext_ = 0;
      [[fallthrough]];
    case MSG_GETNEXT:
      if (listingNext_ >= listing_.size()) return TWRC_ENDOFLIST;
      *identity = listing_[listingNext_++];
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT: {
      const std::vector<TW_IDENTITY> sources = driver_->List();
      const std::optional<size_t> index = DefaultIndex(sources);
      if (!index) return Fail(TWCC_NODS);
      *identity = sources[*index];
      return TWRC_SUCCESS;
    }
    case MSG_USERSELECT: {
      const std::vector<TW_IDENTITY> sources = driver_->List();
      const std::optional<size_t> preselected = DefaultIndex(sources);
      if (!preselected) return Fail(TWCC_NODS);
      std::optional<size_t> chosen = preselected;
      if (chooser_) chosen = chooser_(sources, *preselected);
      if (!chosen) return TWRC_CANCEL;
      if (*chosen >= sources.size()) return Fail(TWCC_BADVALUE);
      *identity = sources[*chosen];
      if (settings_ != nullptr) settings_->SetString(kSourceSettingsSection, kSourceSettingsKey, identity->ProductName);
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      if (source_) return Fail(TWCC_MAXCONNECTIONS);
      const std::vector<TW_IDENTITY> sources = driver_->List();
      std::optional<size_t> index;
      if (identity->ProductName[0] == '\0') {
        index = DefaultIndex(sources);
      } else {
        for (size_t i = 0; i < sources.size() && !index; ++i)
          if (SameName(sources[i], identity->ProductName)) index = i;
      }
      if (!index) return Fail(TWCC_NODS);
      TW_UINT16 condition = TWCC_BUMMER;
      std::unique_ptr<DataSource> opened = driver_->Open(sources[*index], condition);
      if (!opened) return Fail(condition);
      source_ = std::move(opened);
      sourceId_ = ++nextId_;
      *identity = sources[*index];
      identity->Id = sourceId_;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS:
      if (!source_ || identity->Id != sourceId_) return Fail(TWCC_BADDEST);
      source_.reset();
      sourceId_ = 0;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 SourceManager::Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                               TW_UINT16 msg, TW_MEMREF data) {
  if (origin == nullptr) return Fail(TWCC_BADVALUE);
  if (dest == nullptr) {
    if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
      if (data == nullptr) return Fail(TWCC_BADVALUE);
      auto* status = static_cast<TW_STATUS*>(data);
      status->ConditionCode = condition_;
      status->Reserved = 0;
      condition_ = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    if (dg == DG_CONTROL && dat == DAT_PARENT) {
      if (msg == MSG_OPENDSM) {
        if (open_) return Fail(TWCC_SEQERROR);
        open_ = true;
        origin->Id = 1;
        return TWRC_SUCCESS;
      }
      if (msg == MSG_CLOSEDSM) {
        if (!open_ || source_) return Fail(TWCC_SEQERROR);
        open_ = false;
        return TWRC_SUCCESS;
      }
      return Fail(TWCC_BADPROTOCOL);
    }
    if (!open_) return Fail(TWCC_SEQERROR);
    if (dg == DG_CONTROL && dat == DAT_IDENTITY) return Identity(msg, static_cast<TW_IDENTITY*>(data));
    return Fail(TWCC_BADPROTOCOL);
  }
  if (!open_) return Fail(TWCC_SEQERROR);
  // Opening and closing a source name it as the destination in some
  // applications; route those to the manager too.
  if (dg == DG_CONTROL && dat == DAT_IDENTITY && (msg == MSG_OPENDS || msg == MSG_CLOSEDS))
    return Identity(msg, static_cast<TW_IDENTITY*>(data != nullptr ? data : dest));
  if (!source_ || dest->Id != sourceId_) return Fail(TWCC_BADDEST);
  return source_->Entry(origin, dg, dat, msg, data);
}

}  // namespace acquire
