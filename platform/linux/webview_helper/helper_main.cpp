// orbel-webview: shows Mirel's editor page for the plug-in. The plug-in
// starts it with its command pipe as descriptor 3 and its event pipe as
// descriptor 4 (platform/linux/helper_web_view.cpp); the first command
// names the host's X11 window, the address and the document-start script.
// It ends when the command pipe closes.
#include <fcntl.h>
#include <gdk/gdk.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "platform/linux/webview_helper/helper_channel.h"
#include "platform/linux/webview_helper/helper_page.h"

using namespace orbel;

namespace {

constexpr int kCommandFd = 3;
constexpr int kEventFd = 4;

struct Helper {
  HelperChannel channel{kCommandFd, kEventFd};
  HelperPage page{channel};
  bool opened = false;
};

void giveUp(Helper& helper, const std::string& reason) {
  WebViewPipeMessage event;
  event.kind = WebViewPipeKind::Failed;
  event.text = reason;
  helper.channel.send(event);
  _exit(1);
}

void command(Helper& helper, const WebViewPipeMessage& message) {
  if (message.kind == WebViewPipeKind::Open) {
    std::string error;
    if (!helper.page.open(message, error)) giveUp(helper, error);
    helper.opened = true;
    WebViewPipeMessage ready;
    ready.kind = WebViewPipeKind::Ready;
    if (!helper.channel.send(ready)) _exit(0);
    return;
  }
  if (helper.opened) helper.page.handle(message);
}

gboolean commandsReadable(gint, GIOCondition, gpointer data) {
  auto* helper = static_cast<Helper*>(data);
  const bool open =
      helper->channel.readCommands([helper](const WebViewPipeMessage& m) { command(*helper, m); });
  // The plug-in closed its end: the editor is gone. WebKit's own processes
  // follow when their connection to this one closes.
  if (!open) _exit(0);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (::fcntl(kCommandFd, F_GETFD) < 0 || ::fcntl(kEventFd, F_GETFD) < 0) {
    std::fprintf(stderr,
                 "orbel-webview: shows Mirel's editor for the plug-in, which starts it; not for "
                 "use by hand\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  ::fcntl(kCommandFd, F_SETFL, ::fcntl(kCommandFd, F_GETFL) | O_NONBLOCK);
  ::fcntl(kCommandFd, F_SETFD, FD_CLOEXEC);
  ::fcntl(kEventFd, F_SETFD, FD_CLOEXEC);

  static Helper helper;
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) giveUp(helper, "cannot open the X display");
  g_unix_fd_add(kCommandFd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                commandsReadable, &helper);
  gtk_main();
  return 0;
}
