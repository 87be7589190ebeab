#!/usr/bin/env bash
# Only the host layer may include operating-system headers; everything else talks to it.
cd "$(dirname "$0")/.." || exit 2
hits=$(grep -rnE '#\s*include\s*<(unistd|fcntl|dirent|spawn|signal|termios|poll|pwd|grp|dlfcn|pthread|sys/[a-z_]+|linux/[a-z_]+)\.h>' src --include='*.h' --include='*.cpp' | grep -v '^src/platform/')
if [ -n "$hits" ]; then
  echo "operating-system headers outside src/platform/:"
  echo "$hits"
  exit 1
fi
# The layer's own headers must not leak them either.
hits=$(grep -nE '#\s*include\s*<(unistd|fcntl|dirent|spawn|signal|termios|poll|pwd|grp|sys/[a-z_]+)\.h>' -r src/platform --include='*.h')
if [ -n "$hits" ]; then
  echo "host layer headers that expose operating-system headers:"
  echo "$hits"
  exit 1
fi
echo "seam intact"
