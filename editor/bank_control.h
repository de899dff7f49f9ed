#pragma once
// The controller-side keeper of what the editor page knows about sample
// banks: which bank was asked for and from where, what the processor reported
// after loading it (the chosen instrument, the bank's instruments and kits,
// its presets), the current preset and the pad overrides. It handles the
// page's bank messages, turns them into requests to the processor, the folder
// picker or a download, and reports the picture to the page as one
// "orbel.bankState" message.
//
// It reaches the world only through BankControlHost (the edit controller's
// BankBridge in the product; a fake in tests). Everything runs on the UI
// thread; a hosted download runs on a worker (banks/hosted_bank_fetcher.h)
// and the load continues on the UI thread when it is done, so the page sees
// the same messages, only later.
#include <memory>
#include <string>
#include <vector>

#include "banks/bank_preset.h"
#include "banks/hosted_bank_fetcher.h"
#include "banks/pad_overrides.h"

namespace orbel {

struct BridgeMessage;

class BankControlHost {
public:
  BankControlHost() = default;
  BankControlHost(const BankControlHost&) = delete;
  BankControlHost& operator=(const BankControlHost&) = delete;
  virtual ~BankControlHost() = default;

  // Delivers one JSON message to the page.
  virtual void sendBankJson(const std::string& json) = 0;
  // Sets parameter `index` (0..10; others ignored) to a plain value, as a user
  // edit the host and the page hear of.
  virtual void editParam(unsigned index, double value) = 0;
  // The parameter's current plain value (0 above index 10).
  virtual double readParam(unsigned index) const = 0;
  // Asks the processor to load a bank; its reply reaches
  // adoptRuntimeBankReply. When nothing can be sent, the host adopts the reply
  // "missing", a line feed and the path at once.
  virtual void requestRuntimeBank(const std::string& source, const std::string& path,
                                  const std::string& sha256, const std::string& instrument) = 0;
  // Sends the overrides to the processor; true when sent.
  virtual bool applyPadOverrides(const SamplerPadOverrides& overrides) = 0;
  // Lets the user choose a folder.
  virtual bool pickFolder(std::string& path, std::string& error) = 0;
  // Tells the controller which bank preset is current.
  virtual void notePresetSelected(const std::string& id, const std::string& name) = 0;
};

class BankControl {
public:
  // `fetcher` carries hosted downloads; null means the product's threaded one,
  // made when the first hosted bank is asked for.
  explicit BankControl(BankControlHost* host, std::unique_ptr<HostedBankFetcher> fetcher = nullptr);
  BankControl(const BankControl&) = delete;
  BankControl& operator=(const BankControl&) = delete;
  ~BankControl();

  // True when the message is a bank message, whatever came of it.
  bool handleMessage(const BridgeMessage& message);
  // Builds the "orbel.bankState" report and sends it. Null reason: "query".
  void sendBankState(const char* reason, const char* errorCode, const char* requestedId);
  // The processor's runtime bank reply (staging/staged_bank.h lays it out).
  void adoptRuntimeBankReply(const std::string& reply);
  void handleBankPreset(const std::string& presetId);
  void handleRuntimeBank(const std::string& source, const std::string& path,
                         const std::string& instrument, const std::string& url,
                         const std::string& sha256);
  void handlePickFolder();
  void handleCompiledBank(const std::string& id);
  // Forgets the adopted runtime bank; the requested instrument, the current
  // preset and the pad overrides stay.
  void clearRuntimeFacts();
  // State restore: the reference fields and the pad overrides are replaced,
  // the adopted facts are not touched. The caller then reports "restore".
  void adoptRestoredRef(const std::string& source, const std::string& locator,
                        const std::string& sha256, const std::string& instrument,
                        const std::string& presetId);
  void adoptRestoredPadOverrides(const SamplerPadOverrides& overrides);

  // Stops a hosted download that is still running; its load never continues.
  void cancelDownloads();
  // A hosted download is on its way.
  bool downloadPending() const;

  BankControlHost* host;
  bool hasRuntimeBank = false;
  std::string source;   // "user-folder", "module-relative", "hosted", ...
  std::string locator;  // the folder, or for hosted banks the address
  std::string sha256;   // the pin of a hosted bank
  std::string requestedInstrument;
  std::string instrumentId;  // the chosen instrument as the processor reported it
  std::string instrumentName;
  std::string instrumentList;        // "instruments" or "kits"
  std::vector<std::string> entries;  // raw reply lines: id TAB name TAB kind
  std::vector<BankControlPreset> presets;
  std::string currentPreset;
  SamplerPadOverrides padOverrides;

private:
  // handleRuntimeBank from the local folder on: the request to the processor.
  void requestLocalBank(const std::string& source, const std::string& path,
                        const std::string& instrument, const std::string& url,
                        const std::string& sha256);

  std::unique_ptr<HostedBankFetcher> fetcher_;
};

}  // namespace orbel
