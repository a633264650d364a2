# Run by CPack on the staged .deb tree before it is packed: the license
# becomes /usr/share/doc/faultkit/copyright, the changelog is added as
# changelog.gz, and the manual page is compressed, as Debian's policy asks.
# gzip -n leaves out names and times, so that packages are reproducible.
set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/${CPACK_FAULTKIT_DOCDIR})
file(RENAME ${doc}/LICENSE ${doc}/copyright)
file(COPY_FILE ${CPACK_FAULTKIT_SOURCE_DIR}/CHANGELOG.md ${doc}/changelog)
foreach(file ${doc}/changelog ${root}/${CPACK_FAULTKIT_MANDIR}/man1/faultkit.1)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
