#!/bin/sh
# Runs a 64-bit ARM Linux program under qemu-aarch64, which reads the
# target's C and C++ runtimes from the cross toolchain's folder.
#
# Some programs start another program of the build through the shell (the
# tool's demo, an example, the transfer test between processes), and the
# kernel runs an ARM program only through a binfmt_misc handler. So the
# program runs in a user and mount namespace of its own with a binfmt_misc
# instance of its own (Linux 6.7 and later) whose one handler hands ARM
# programs to qemu; nothing outside the namespace changes. A program of the
# machine (a Python test that starts the tool) runs there as it is. Where
# no such instance can be made, the program runs under qemu directly: the
# ARM programs it starts fail with "Exec format error", and a program of
# the machine does not start.
export QEMU_LD_PREFIX="${QEMU_LD_PREFIX:-/usr/aarch64-linux-gnu}"
qemu=$(command -v qemu-aarch64) || { echo "qemu-run.sh: qemu-aarch64 not found" >&2; exit 127; }

# The magic and mask of a little-endian 64-bit ELF executable or shared
# object for EM_AARCH64, as Debian's qemu-user-binfmt registers them.
magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
handler=":faultkit-aarch64:M::$magic:$mask:$qemu:"

if ! unshare --user --map-root-user --mount true 2>/dev/null; then
  exec "$qemu" "$@"
fi
# In the namespace: $1 the qemu program, $2 the handler, then the command.
exec unshare --user --map-root-user --mount sh -c '
  qemu=$1 handler=$2 binfmt=/proc/sys/fs/binfmt_misc
  shift 2
  if mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null &&
     printf "%s" "$handler" 2>/dev/null >$binfmt/register; then
    exec "$@"
  fi
  exec "$qemu" "$@"' qemu-run "$qemu" "$handler" "$@"
