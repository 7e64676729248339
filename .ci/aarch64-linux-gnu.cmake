# Cross-compiling for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu (used by .ci/run).
# The Python headers and the extension suffix of the ARM interpreter are given at configure
# time (Python_INCLUDE_DIR, Python_SOABI, VORN_PYTHON_SYSROOT); Eigen's headers are the host's,
# being the same on every architecture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Debian's Python.h picks its pyconfig.h from <aarch64-linux-gnu/python3.N/...>.
if(VORN_PYTHON_SYSROOT)
  include_directories(SYSTEM ${VORN_PYTHON_SYSROOT}/usr/include)
endif()
