#!/usr/bin/env bash
# The 32-bit end-to-end tests (label e2e-win32) for a host that cannot run
# them: in a Debian 12 machine that QEMU emulates, with exactly the packages
# scripts/setup.sh installs on a host that runs 32-bit programs. The machine's
# image is made once and kept in $Q8_VM_CACHE (~/.cache/q8-launcher/vm),
# named by a hash of what goes into it; each run boots it with a throwaway
# overlay, the checkout shared read-only, and runs the tests on a copy of the
# checkout that holds the 32-bit build made here, the only thing running
# there, one test at a time (Q8_E2E_JOBS, 1; Q8_E2E_TESTS picks lines as in
# the test run): at about an eighth of this host's speed, two lines at once
# take longer than a line may. Their ctest output and scenario count are this
# script's output.
#   scripts/vm.sh           the tests (scripts/test.sh e2e-win32-vm runs it)
#   scripts/vm.sh --remove  removes the images
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/project.sh"
cache="${Q8_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/q8-launcher/vm}"
if [ "${1:-}" = --remove ]; then
  rm -rf "$cache"/bookworm-*
  exit 0
fi

run_arch
if [ "$Q8_RUN_ARCH" = win32 ]; then
  echo "vm: this host runs the 32-bit build: the e2e-win32 tests prove it here"
  exit 0
fi

work="$(mktemp -d)" qemu=""
# Every mount below $1, innermost first.
unmount_below() {
  awk -v dir="$1/" 'index($2, dir) == 1 { print $2 }' /proc/mounts | sort -r |
    while read -r m; do umount -l "$m"; done
}
cleanup() {
  [ -z "$qemu" ] || { kill "$qemu" 2>/dev/null; wait "$qemu" 2>/dev/null; } || true
  unmount_below "$work"
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
step() { echo "vm: $*"; }
fail() { echo "vm: FAILED: $*" >&2; exit 1; }

# PID 1 of the machine, in its image: it mounts the folder the host shares
# for this run and hands over to that run's boot script, below.
guest_init() {
  cat <<'EOF'
#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
modprobe 9pnet_virtio; modprobe 9p; mkdir -p /mnt/job
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 job /mnt/job
exec /bin/sh /mnt/job/boot
EOF
}

# The image: Debian 12 from debootstrap, its kernel, setup.sh's packages for a
# 32-bit host (from Debian 12's own archive, whose i386 and amd64 packages
# always match), and the init above.
make_image() {
  local dir="$work/root"
  local started="$SECONDS"
  step "making the image $image (about five minutes)"
  step "[1/4] debootstrap bookworm from $mirror"
  debootstrap --variant=minbase --include=linux-image-amd64,iproute2 bookworm "$dir" "$mirror" \
    >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; fail "debootstrap"; }
  step "[2/4] scripts/setup.sh in it, for a host that runs 32-bit programs"
  # The host's devices seen as a slave: nothing undone in there undoes the host's.
  mount -t proc proc "$dir/proc" && mount -t sysfs sys "$dir/sys" &&
    mount --rbind /dev "$dir/dev" && mount --make-rslave "$dir/dev"
  mkdir -p "$dir/q8/scripts"
  cp "$root/scripts/setup.sh" "$root/scripts/project.sh" "$dir/q8/scripts/"
  cp "$root/CMakePresets.json" "$dir/q8/"
  chroot "$dir" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root Q8_RUN_32BIT=1 \
    bash /q8/scripts/setup.sh >"$work/setup.log" 2>&1 || { tail -n 30 "$work/setup.log"; fail "setup"; }
  chroot "$dir" apt-get clean
  unmount_below "$dir"
  rm -rf "$dir/q8"
  guest_init >"$dir/sbin/q8-init"
  chmod +x "$dir/sbin/q8-init"
  step "[3/4] the kernel and its initial ramdisk"
  mkdir -p "$image.new"
  cp "$dir"/boot/vmlinuz-* "$image.new/vmlinuz"
  cp "$dir"/boot/initrd.img-* "$image.new/initrd.img"
  step "[4/4] the disk"
  mkfs.ext4 -q -F -d "$dir" "$image.new/disk.img" 16G >"$work/mkfs.log" 2>&1 ||
    { cat "$work/mkfs.log"; fail "mkfs.ext4"; }
  rm -rf --one-file-system "$dir"
  mv "$image.new" "$image"
  step "the image made in $((SECONDS - started)) s"
}

Q8_SET_UP="" Q8_SETUP_EXTRA="qemu-system-x86 debootstrap" bash "$root/scripts/setup.sh"
mirror="${Q8_VM_MIRROR:-http://deb.debian.org/debian}"
key="$( { Q8_RUN_32BIT=1 bash "$root/scripts/setup.sh" --print-packages; cat "$root/scripts/setup.sh"
          declare -f guest_init make_image; } | sha256sum | cut -c1-16)"
image="$cache/bookworm-$key"
if [ ! -f "$image/disk.img" ]; then
  # Images made from another package list or recipe will not serve again.
  rm -rf "$cache"/bookworm-*
  mkdir -p "$cache"
  make_image
fi

# The 32-bit build, all of it (here the test run makes only what ships), goes
# to the machine with the checkout.
step "building the 32-bit programs and their tests"
(cd "$root" && cmake --preset win32 >/dev/null && cmake --build --preset win32 -j"$(nproc)") \
  >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log"; fail "the 32-bit build"; }
mkdir -p "$work/job"
# The rest of the machine's start, the job, its result kept beside it, and
# the machine's end.
cat >"$work/job/boot" <<'EOF'
mkdir -p /dev/pts /dev/shm /mnt/src; mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm; mount -t tmpfs tmpfs /tmp; mount -t tmpfs tmpfs /run
mount -o remount,rw /; ip link set lo up
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro src /mnt/src
HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin bash /mnt/job/job.sh >/mnt/job/output 2>&1
echo $? >/mnt/job/rc.new && mv /mnt/job/rc.new /mnt/job/rc
sync; echo o >/proc/sysrq-trigger; sleep 60
EOF
cat >"$work/job/job.sh" <<EOF
set -e
mkdir -p $(printf %q "$root")
cd $(printf %q "$root")
tar -C /mnt/src --exclude=./.git --exclude=./build --exclude=./dist -cf - . | tar -xf -
mkdir -p build && tar -C /mnt/src/build -cf - win32 | tar -C build -xf -
status=0
Q8_RUN_32BIT=1 Q8_E2E_JOBS=${Q8_E2E_JOBS:-1} Q8_E2E_TESTS=$(printf %q "${Q8_E2E_TESTS:-}") \\
  bash scripts/test.sh e2e-win32 || status=\$?
cp build/run/Testing/Temporary/LastTest.log /mnt/job/ || true
exit \$status
EOF
step "booting the machine ($(nproc) processors emulated); the output of its tests follows when they end"
started="$SECONDS"
# Full emulation (a KVM in a virtual machine may not run this guest), with
# every 32-bit Wine process crashing the guest's kernel unless the processor
# lacks SMAP, PKU and five-level paging. A panic ends the machine.
timeout 3600 qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap,-pku,-la57 \
  -smp "$(nproc)" -m 6G -nodefaults -display none -no-reboot -serial "file:$work/console.log" \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 panic=1 init=/sbin/q8-init" \
  -drive "file=$image/disk.img,format=raw,if=virtio,snapshot=on" \
  -virtfs "local,path=$root,mount_tag=src,security_model=none,readonly=on" \
  -virtfs "local,path=$work/job,mount_tag=job,security_model=none" >"$work/qemu.log" 2>&1 &
qemu=$!
wait "$qemu" || true
qemu=""
cat "$work/job/output" 2>/dev/null || true
[ -f "$work/job/rc" ] || { tail -n 30 "$work/qemu.log" "$work/console.log"; fail "the machine ended without a result"; }
step "the tests ran in the machine in $((SECONDS - started)) s"
# The scenario count, which the test run's log holds.
grep -E '^scenarios:|^not run or failed:' "$work/job/LastTest.log" || true
[ "$(cat "$work/job/rc")" = 0 ] || fail "the e2e-win32 tests in the machine"
