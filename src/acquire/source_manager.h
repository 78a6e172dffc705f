// acquire::SourceManager: the TWAIN source manager of this system. Its
// Entry has the shape of the protocol's manager entry and presents the
// sources of a SourceDriver (every SANE device, or a scripted fake in the
// tests) as TWAIN 1.x data sources.
//
// Manager-level triplets (destination nullptr):
//   DG_CONTROL/DAT_PARENT/MSG_OPENDSM, MSG_CLOSEDSM (the latter fails with
//     TWCC_SEQERROR while a source is open);
//   DG_CONTROL/DAT_IDENTITY/MSG_GETFIRST, MSG_GETNEXT (TWRC_ENDOFLIST after
//     the last), MSG_GETDEFAULT (the source last chosen, kept in the
//     settings under section "Acquire", key "Source", when it still exists;
//     else the first), MSG_USERSELECT (the chooser picks among the sources
//     with the default preselected and the choice is remembered; TWRC_CANCEL
//     when the chooser declines), MSG_OPENDS (the source whose ProductName
//     the identity names, or the default one when it names none; one source
//     at a time: TWCC_MAXCONNECTIONS), MSG_CLOSEDS;
//   DG_CONTROL/DAT_STATUS/MSG_GET: the manager's condition code.
// Every other triplet goes to the open source named by the destination's Id
// (TWCC_BADDEST when none is). Failures leave a condition code that
// DAT_STATUS reports; with no sources at all, GETDEFAULT, USERSELECT and
// OPENDS fail with TWCC_NODS.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquire/twain.h"

namespace platform {
class Settings;
}

namespace acquire {

// One open data source. Entry answers the source-level triplets (capability,
// user interface, event, status, image info, memory transfer, pending
// transfers, palette) and keeps its own condition code for DAT_STATUS.
class DataSource {
 public:
  virtual ~DataSource() = default;
  virtual TW_UINT16 Entry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) = 0;
};

// Where the sources come from.
class SourceDriver {
 public:
  virtual ~SourceDriver() = default;
  // Identities of the sources present now (Id left 0).
  virtual std::vector<TW_IDENTITY> List() = 0;
  // Opens the source `identity` names; nullptr with a condition code in
  // `condition` when it cannot be opened.
  virtual std::unique_ptr<DataSource> Open(const TW_IDENTITY& identity, TW_UINT16& condition) = 0;
};

// Chooses a source for MSG_USERSELECT: given the sources and the index of
// the default one, the chosen index, or nullopt when the user cancels.
using SourceChooser = std::function<std::optional<size_t>(const std::vector<TW_IDENTITY>& sources, size_t preselected)>;

class SourceManager {
 public:
  // `settings` keeps the last chosen source (may be nullptr); `chooser`
  // answers MSG_USERSELECT (without one the default source is chosen).
  SourceManager(std::unique_ptr<SourceDriver> driver, platform::Settings* settings, SourceChooser chooser = {});
  virtual ~SourceManager();
  SourceManager(const SourceManager&) = delete;
  SourceManager& operator=(const SourceManager&) = delete;

  // Virtual so that a test can stand a misbehaving manager in for this one.
  virtual TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data);

  bool IsOpen() const { return open_; }
  bool HasOpenSource() const { return source_ != nullptr; }

 private:
  TW_UINT16 Fail(TW_UINT16 condition);
  TW_UINT16 Identity(TW_UINT16 msg, TW_IDENTITY* identity);
  std::optional<size_t> DefaultIndex(const std::vector<TW_IDENTITY>& sources) const;

  std::unique_ptr<SourceDriver> driver_;
  platform::Settings* settings_;
  SourceChooser chooser_;
  bool open_ = false;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  std::vector<TW_IDENTITY> listing_;  // for GETFIRST/GETNEXT
  size_t listingNext_ = 0;
  std::unique_ptr<DataSource> source_;
  TW_UINT32 sourceId_ = 0;
  TW_UINT32 nextId_ = 1;
};

// Section and key of the settings that keep the last chosen source's
// ProductName.
inline constexpr char kSourceSettingsSection[] = "Acquire";
inline constexpr char kSourceSettingsKey[] = "Source";

}  // namespace acquire
