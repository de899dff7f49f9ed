#!/usr/bin/env bash
# Release check on a fresh machine: bootstraps a minimal Debian 12 into a
# folder (debootstrap from this machine's configured Debian mirror), clones
# this repository's HEAD into it, and runs the README's two commands there as
# root, as a new user would. Reports each command's result and time. Mounts
# are undone and the folder removed on every exit, also when interrupted.
#
#   bash scripts/fresh-check.sh [--dir DIR] [--keep]
#
#   --dir DIR   where the system goes (default /var/tmp/mirel-fresh; must not exist)
#   --keep      keep the folder afterwards (logs stay in DIR/root/*.log either way
#               until it is removed)
#
# Needs root, about 6 GB of disk and network access to the mirror; takes
# half an hour or more. Not part of the test command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=/var/tmp/mirel-fresh
keep=0
while (($#)); do
  case "$1" in
    --dir) dir=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "fresh-check: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ $(id -u) -eq 0 ]] || { echo "fresh-check: run as root (debootstrap and chroot need it)" >&2; exit 2; }
[[ -e "$dir" ]] && { echo "fresh-check: $dir exists; remove it or give --dir" >&2; exit 2; }

# The first Debian mirror this machine is configured with.
mirror=$(grep -hE '^(URIs:|deb )' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null |
         grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n 1 | tr -d ' ' || true)
mirror=${mirror:-http://deb.debian.org/debian}
security=${mirror%/debian*}/debian-security

if ! command -v debootstrap >/dev/null || ! command -v git >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap git >/dev/null
fi

mounted=()
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R -l "${mounted[i]}" 2>/dev/null || true
  done
  if ((keep)); then
    echo "fresh-check: kept $dir"
  else
    # Only remove the folder once nothing is mounted below it any more.
    if ! grep -q " $dir/" /proc/mounts; then rm -rf --one-file-system "$dir"; fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "fresh-check: bootstrapping Debian 12 into $dir from $mirror"
start=$SECONDS
debootstrap --variant=minbase bookworm "$dir" "$mirror" >"$root/.fresh-debootstrap.log" 2>&1 ||
  { echo "fresh-check: debootstrap failed (see $root/.fresh-debootstrap.log)" >&2; exit 1; }
rm -f "$root/.fresh-debootstrap.log"
echo "fresh-check: bootstrap took $((SECONDS - start)) s"

cat >"$dir/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
cp -L /etc/resolv.conf "$dir/etc/resolv.conf"
for m in proc sys dev; do
  case $m in
    proc) mount -t proc proc "$dir/proc" ;;
    sys) mount -t sysfs sys "$dir/sys" ;;
    dev) mount --rbind /dev "$dir/dev"; mount --make-rslave "$dir/dev" ;;
  esac
  mounted+=("$dir/$m")
done

# What this machine's network needs travels along: its proxy settings and the
# certificate authorities its admin added (a new machine here has them too).
passed=()
for v in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
  [[ -n ${!v:-} ]] && passed+=("$v=${!v}")
done
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
  mkdir -p "$dir/usr/local/share/ca-certificates"
  cp /usr/local/share/ca-certificates/*.crt "$dir/usr/local/share/ca-certificates/"
fi

in_chroot() {
  chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb "${passed[@]}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}

# As a new user: git and certificates by hand, then the clone.
in_chroot "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends git ca-certificates >/dev/null && update-ca-certificates >/dev/null"
git clone -q --no-local "$root" "$dir/root/mirel"

failed=0
for cmd in "bash scripts/run.sh" "bash scripts/test.sh"; do
  log="$dir/root/$(echo "$cmd" | tr -c 'a-z\n' '-' | sed 's/-*$//').log"
  echo "fresh-check: $cmd"
  start=$SECONDS
  if in_chroot "cd /root/mirel && $cmd" >"$log" 2>&1; then result=passed; else result="FAILED ($?)"; failed=1; fi
  echo "fresh-check: $cmd: $result in $((SECONDS - start)) s"
  if [[ $result != passed ]]; then
    tail -n 40 "$log" | sed 's/^/  | /'
    cp "$log" "$root/fresh-check-$(basename "$log")" && echo "fresh-check: log kept in $root/fresh-check-$(basename "$log")"
  fi
done
exit "$failed"
