# What `cmake --install` puts in place, and the Debian package CPack builds
# from it (`cpack -G DEB` in the build folder; scripts/package.sh does both).
# Only the program, its manual page and its bash completion are installed:
# tests, benchmarks, fuzz targets and tools stay in the build folder.
include(GNUInstallDirs)

install(TARGETS marrowvale RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/marrowvale.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/scripts/completion/marrowvale.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME marrowvale)

set(MARROWVALE_PACKAGE_MAINTAINER
    "marrowvale maintainers <maintainers@users.noreply.c-seed-3e8e407b.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowvale)
set(CPACK_PACKAGE_VENDOR "marrowvale maintainers")
set(CPACK_PACKAGE_CONTACT "${MARROWVALE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter of sampling rate and width for WAVE files")
set(CPACK_PACKAGE_DESCRIPTION
    "marrowvale converts PCM RIFF WAVE files, and their RF64 form past 4 GiB,
in batches: integer samples of 8 to 32 bits and IEEE float samples of 32
and 64 bits. It changes the sampling rate with a multi-stage polyphase FIR
resampler (a designed filter, or a steep one that keeps aliases below the
24-bit noise floor) and the sample width with a requantiser with dither and
noise shaping, carries the files' metadata chunks (bext, cue, smpl, iXML,
LIST) with their frame counts rescaled, and writes RF64 when an output
passes 4 GiB.
.
Batches convert files in parallel with the same bytes for any number of
threads; folders convert into mirrored trees, every output is written
exactly once, an interrupted batch resumes where it stopped, and a JSON
Lines report lists every file. Archives can be spread over the nodes of a
cluster in shards.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Boost and C++ runtime packages are found by dpkg-shlibdeps from the
# libraries the program links, so they follow the build machine's versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The stripped program, Debian's documentation files and the compressed
# manual page are made in the staging folder, after the install and before the package is built.
set(CPACK_MARROWVALE_DEBIAN_FILES ${CMAKE_CURRENT_LIST_DIR}/debian)
set(CPACK_MARROWVALE_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianStaging.cmake)

include(CPack)
