# Run by CPack in the staging folder of the Debian package before it is
# built: strips the program as Debian's own tools do, compresses the manual
# page as Debian's policy asks, and adds the copyright file and the
# changelog under /usr/share/doc/marrowvale.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(doc "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB programs "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_MARROWVALE_STRIP}" --remove-section=.comment
                          --remove-section=.note --strip-unneeded "${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(GLOB_RECURSE manual_pages "${root}/*.1")
if(NOT manual_pages)
  message(FATAL_ERROR "no manual page in ${root}")
endif()
foreach(page IN LISTS manual_pages)
  # -n: no name or time stamp in the header, so the bytes do not depend on
  # when the package was built.
  execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_MARROWVALE_DEBIAN_FILES}/copyright" DESTINATION "${doc}"
     FILE_PERMISSIONS ${readable})

# SOURCE_DATE_EPOCH, when set, fixes the date for reproducible packages.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
file(WRITE "${doc}/changelog.Debian"
     "${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n\n"
     "  * Package of marrowvale ${CPACK_PACKAGE_VERSION}.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog.Debian" COMMAND_ERROR_IS_FATAL ANY)
file(CHMOD "${doc}/changelog.Debian.gz" PERMISSIONS ${readable})
