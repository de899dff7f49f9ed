// The probe's editor session (orbel-probe editor): the plug-in's view in an
// X11 window of the probe's own, with the probe's run loop lent through the
// plug frame, as a Linux host does, while the processor runs in real time
// and the page's edits reach it. It reports when the page has drawn the
// controller's hello, can take a screenshot then, and at the end reports
// the edits the controller made to the host (beginEdit/performEdit/endEdit)
// and the parameters that changed, closes the view and checks that the
// process which showed the page is gone.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace orbel {

class BlockRenderer;
class PluginInstance;
class ProbeRunLoop;

struct EditorSessionOptions {
  // Renders in real time while the editor is open, as a host plays (the
  // instance configured and active, the renderer started); null: no audio.
  BlockRenderer* renderer = nullptr;
  double sampleRate = 48000.0;
  std::string screenshotPath;     // empty: none
  std::optional<double> seconds;  // none: until the window is closed or a signal comes
  int width = 0;                  // 0: the view's own size
  int height = 0;
  std::FILE* out = stdout;
};

// The instance must be open. Returns false (with a reason) when the editor
// could not be shown, the screenshot could not be taken, or the page's
// process outlived the view.
bool runEditorSession(PluginInstance& instance, ProbeRunLoop& loop,
                      const EditorSessionOptions& options, std::string& error);

}  // namespace orbel
