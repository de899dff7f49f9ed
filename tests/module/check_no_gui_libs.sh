#!/usr/bin/env bash
# The module loads into hosts that bring their own toolkit (GTK 2, Qt, JUCE)
# or none, so it links no GUI library at all: no GTK, GDK, GLib/GObject/GIO,
# WebKit, JavaScriptCore, libsoup, cairo, Pango or X11. The web view runs in
# the helper beside it, which is where WebKitGTK must be.
#   check_no_gui_libs.sh Mirel.so orbel-webview
set -euo pipefail
so="$1"
helper="$2"
for f in "$so" "$helper"; do [[ -f "$f" ]] || { echo "missing: $f"; exit 1; }; done
needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
gui='^lib(gtk|gdk|glib|gobject|gio|gmodule|gthread|webkit|javascriptcore|soup|cairo|pango|harfbuzz|atk|X11|xcb|Xext|epoxy|EGL|GL)[-.0-9_]'
mapfile -t module_libs < <(needed "$so")
mapfile -t helper_libs < <(needed "$helper")
status=0
for lib in "${module_libs[@]}"; do
  if [[ $lib =~ $gui ]]; then
    echo "the module links a GUI library: $lib"
    status=1
  fi
done
# Nothing is loaded behind the linker's back either.
if strings -a "$so" | grep -E '^lib(gtk|webkit2gtk|javascriptcoregtk)[-.0-9]*\.so' >/dev/null; then
  echo "the module names a GUI library to load at run time:"
  strings -a "$so" | grep -E '^lib(gtk|webkit2gtk|javascriptcoregtk)[-.0-9]*\.so'
  status=1
fi
found_webkit=0
for lib in "${helper_libs[@]}"; do [[ $lib == libwebkit2gtk-4.1.so* ]] && found_webkit=1; done
if ((found_webkit == 0)); then
  echo "the helper does not link WebKitGTK 4.1 (linked: ${helper_libs[*]})"
  status=1
fi
echo "module links: ${module_libs[*]}"
exit $status
