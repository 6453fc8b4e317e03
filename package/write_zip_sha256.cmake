# Run by cpack once the zip is made, before it is copied out: <zip>.sha256 for the output folder, in
# sha256sum's format. CPack's own checksum option would drop the ".zip" from that file's name.
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    file(SHA256 "${zip}" hash)
    get_filename_component(name "${zip}" NAME)
    file(WRITE "${CPACK_OUTPUT_FILE_PREFIX}/${name}.sha256" "${hash}  ${name}\n")
endforeach()
