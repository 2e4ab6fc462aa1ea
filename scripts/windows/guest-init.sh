#!/bin/busybox sh
# PID 1 of the wine32 guest (wine32-guest.sh): loads the virtio and 9p modules named in
# /modules (no modules.dep: in that order), mounts the host's root read-only on /host and the
# shares listed in /shares ("TAG PATH" lines) writable at their own paths inside it, then runs
# /command in a chroot of /host and prints "VELLOX-GUEST-EXIT N" before powering off.
/bin/busybox mkdir -p /proc /sys /dev /host
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules); do insmod "/lib/modules/$m.ko" || echo "VELLOX-ERROR insmod $m"; done

# cache=loose: with cache=mmap a static program run from the share faults at its first
# instruction (its file reads back right, its mapping does not).
options=trans=virtio,version=9p2000.L,msize=512000,cache=loose
rc=1
if mount -t 9p -o "$options,ro" hostroot /host; then
  ok=yes
  while read -r tag path; do
    mount -t 9p -o "$options" "$tag" "/host$path" || { echo "VELLOX-ERROR mount $path"; ok=no; }
  done </shares
  mount -t tmpfs tmp /host/tmp
  mount -t tmpfs run /host/run
  mount -t proc proc /host/proc
  mount -t sysfs sys /host/sys
  mount -t devtmpfs dev /host/dev
  mkdir -p /host/dev/pts /host/dev/shm
  mount -t devpts devpts /host/dev/pts
  # What udev would add: bash's <(...) opens /dev/fd/N.
  ln -s /proc/self/fd /host/dev/fd
  ln -s /proc/self/fd/0 /host/dev/stdin
  ln -s /proc/self/fd/1 /host/dev/stdout
  ln -s /proc/self/fd/2 /host/dev/stderr
  mount -t tmpfs shm /host/dev/shm
  if [ "$ok" = yes ]; then
    chroot /host /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/tmp LANG=C.UTF-8 \
      VELLOX_WINE_UNDER_TCG=1 /bin/bash -c "$(cat /command)"
    rc=$?
  fi
else
  echo "VELLOX-ERROR mount of the host's root"
fi
echo "VELLOX-GUEST-EXIT $rc"
sync
poweroff -f
