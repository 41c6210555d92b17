# Read by cpack in a cross build: dpkg-shlibdeps takes the architecture to resolve for from the
# environment, as it would under dpkg-buildpackage --host-arch.
set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
