#pragma once
// Mirel's editor view: the page of the UI root in a web view embedded in the
// host's window of the one platform type the platform's web view takes
// (platform/web_view.h: "X11EmbedWindowID" on Linux).
// attached opens the bridged web view (editor/bridged_web_view.h) on the run
// loop the host lends through the plug frame and starts the view's 1/30 s
// cadence tick on the same loop; removed stops the tick and detaches. The
// size is kept within 480×360 .. 1400×1000. All calls come on the host's UI
// thread.
#include <memory>
#include <string>

#include "editor/bridged_web_view.h"
#include "platform/run_loop.h"
#include "plugin/editor_status.h"
#include "public.sdk/source/common/pluginview.h"

namespace orbel {

class OrbelController;

inline constexpr int kEditorDefaultWidth = 720;
inline constexpr int kEditorDefaultHeight = 560;
inline constexpr int kEditorMinWidth = 480;
inline constexpr int kEditorMaxWidth = 1400;
inline constexpr int kEditorMinHeight = 360;
inline constexpr int kEditorMaxHeight = 1000;

// Clamps the rectangle's width and height to the editor's limits, keeping
// its left and top edges.
void clampEditorRect(Steinberg::ViewRect& rect);

class WebViewPlugView final : public Steinberg::CPluginView,
                              public IOrbelEditorStatus,
                              private RunLoopTimer {
public:
  // Holds a reference to `controller` (not null) for its lifetime.
  WebViewPlugView(OrbelController* controller, std::string rootPath);
  ~WebViewPlugView() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API removed() override;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API canResize() override { return Steinberg::kResultTrue; }
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

  Steinberg::tresult PLUGIN_API getEditorStatus(OrbelEditorStatus* status) override;

  const std::string& rootPath() const { return rootPath_; }
  // Where the web view program is (empty: beside the module); for tests and
  // benchmarks that link the plug-in's classes into their own program.
  void setHelperPath(std::string path) { helperPath_ = std::move(path); }

  OBJ_METHODS(WebViewPlugView, Steinberg::CPluginView)
  DEFINE_INTERFACES
  DEF_INTERFACE(IOrbelEditorStatus)
  END_DEFINE_INTERFACES(Steinberg::CPluginView)
  REFCOUNT_METHODS(Steinberg::CPluginView)

private:
  void onRunLoopTimer() override;
  void detach();

  OrbelController* controller_;
  std::string rootPath_;
  std::string helperPath_;
  std::shared_ptr<RunLoop> loop_;  // the plug frame's, while attached
  bool timerRunning_ = false;
  std::unique_ptr<BridgedWebView> webView_;
};

// The editor for `controller`: the module's own UI root when `uiRoot` is
// null. Null, after "orbel-plugin-shell: no UI bundle found; editor
// disabled" on standard error and the controller's editor error "no ui
// bundle in plugin", when there is no controller or no root.
Steinberg::IPlugView* createWebViewEditor(OrbelController* controller, const char* uiRoot);

}  // namespace orbel
