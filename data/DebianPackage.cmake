# Read by cpack before it packages: without dpkg-shlibdeps (dpkg-dev) CPack
# makes a package that declares no dependencies, and without `file` it cannot
# find the binaries to ask about. Stop instead, and say what to install.
if(CPACK_GENERATOR STREQUAL "DEB")
    find_program(QUILLPAD_DPKG_SHLIBDEPS dpkg-shlibdeps)
    find_program(QUILLPAD_FILE file)
    if(NOT QUILLPAD_DPKG_SHLIBDEPS OR NOT QUILLPAD_FILE)
        message(FATAL_ERROR "Packaging needs dpkg-shlibdeps and file: install the Debian packages "
                            "dpkg-dev and file (scripts/package does it).")
    endif()
endif()
