# Per-generator settings, read by cpack: the Debian package installs under
# /usr, the tarball unpacks to a relocatable tree (bin, lib, share).
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
endif()
