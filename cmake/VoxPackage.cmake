# The documents that ship with the programs, and the Debian and RPM packages: run
# `cpack -G DEB` or `cpack -G RPM` in the build folder.

# The licence as a machine-readable Debian copyright file, made from LICENSE so that its text
# lives in one place.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "Redistribution and use" start)
if(start EQUAL -1)
    message(FATAL_ERROR "LICENSE does not hold the BSD 3-Clause conditions")
endif()
string(SUBSTRING "${licence}" ${start} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Upstream-Contact: vox developers <vox-devel@example.org>

Files: *
Copyright: 2026 the vox developers
License: BSD-3-Clause

License: BSD-3-Clause
 ${licence}
")

# The packages are revision 1 of a release: packages of this project's own releases, not
# Debian-native ones, so CHANGELOG.md ships as the upstream changelog (changelog.gz) and the
# Debian changelog (changelog.Debian.gz, which Debian's tools read) has an entry for each release
# in CHANGELOG.md that points to it. The newest entry is dated by the build's time stamp.
set(VOX_PACKAGE_RELEASE 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md releases ENCODING UTF-8 REGEX "^## [0-9]")
set(debian_changelog "")
foreach(release IN LISTS releases)
    if(NOT release MATCHES "^## ([0-9]+\\.[0-9]+\\.[0-9]+) .* ([0-9][0-9][0-9][0-9])-0*([0-9]+)-0*([0-9]+)$")
        message(FATAL_ERROR "CHANGELOG.md: a release heading is '## VERSION — YYYY-MM-DD': ${release}")
    endif()
    set(version ${CMAKE_MATCH_1})
    if(debian_changelog STREQUAL "")
        if(NOT version VERSION_EQUAL PROJECT_VERSION)
            message(FATAL_ERROR "CHANGELOG.md begins with ${version}, the project is ${PROJECT_VERSION}")
        endif()
        string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    else()
        # The start of the day the heading gives, from the days since 1970-01-01 of that date.
        set(year ${CMAKE_MATCH_2})
        if(CMAKE_MATCH_3 LESS_EQUAL 2)
            math(EXPR year "${year} - 1")
        endif()
        math(EXPR year_of_era "${year} % 400")
        math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + (153 * ((${CMAKE_MATCH_3} + 9) % 12) + 2) / 5 + ${CMAKE_MATCH_4} - 1")
        math(EXPR epoch "((${year} / 400) * 146097 + ${day_of_era} - 719468) * 86400")
        set(ENV{SOURCE_DATE_EPOCH} ${epoch})
        string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
        set(ENV{SOURCE_DATE_EPOCH} ${VOX_SOURCE_DATE_EPOCH})
    endif()
    string(APPEND debian_changelog
"vox (${version}-${VOX_PACKAGE_RELEASE}) unstable; urgency=medium

  * Package of release ${version}; its changes are in changelog.gz.

 -- vox developers <vox-devel@example.org>  ${date}

")
endforeach()
string(STRIP "${debian_changelog}" debian_changelog)
file(WRITE ${PROJECT_BINARY_DIR}/changelog.Debian "${debian_changelog}\n")

# The changelogs, compressed without a name or time stamp in them.
set(changelogs)
foreach(pair "CHANGELOG.md|changelog" "${PROJECT_BINARY_DIR}/changelog.Debian|changelog.Debian")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    cmake_path(ABSOLUTE_PATH from BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${to}.gz
        COMMAND gzip -9 -n -c ${from} > ${PROJECT_BINARY_DIR}/${to}.gz
        DEPENDS ${from}
        VERBATIM)
    list(APPEND changelogs ${PROJECT_BINARY_DIR}/${to}.gz)
endforeach()
add_custom_target(changelogs ALL DEPENDS ${changelogs})

install(FILES README.md ${PROJECT_BINARY_DIR}/copyright ${changelogs}
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME vox)
set(CPACK_PACKAGE_VENDOR "The vox developers")
set(CPACK_PACKAGE_CONTACT "vox developers <vox-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converters of raw volume samples into legacy VTK-layout files")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Three command-line programs that wrap a file of raw volume samples into one"
    "file: a text header in the line layout of the VTK legacy format, followed by"
    "the samples unchanged. voxaxis describes a rectilinear grid from coordinate"
    "files, voxeven a uniform grid from spacing and origin (or writes a header"
    "that names the sample file), voxslab a stack of slices placed along z by a"
    "locations file. voxinfo reads such files back, checks that their parts"
    "agree and reports what they hold; voxlink writes XDMF, MetaImage and NRRD"
    "headers that point into them, so that other viewers open them in place.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Read by cpack itself: the time stamp of this configuration, for the package's file times.
configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake.in
    ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VOX_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE ${VOX_PACKAGE_RELEASE})
set(CPACK_RPM_PACKAGE_LICENSE BSD-3-Clause)
set(CPACK_RPM_PACKAGE_GROUP Applications/Engineering)
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
# Folders that belong to the system (or to the shells) are not claimed by this package.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/bash-completion
    /usr/share/bash-completion/completions
    /usr/share/zsh
    /usr/share/zsh/vendor-completions
    /usr/share/fish
    /usr/share/fish/vendor_completions.d
    /usr/share/doc
    /usr/share/man
    /usr/share/man/man1)
# The same files as the Debian package: no links from /usr/lib/.build-id.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none")

if(VOX_PARAVIEW)
    # A build with the ParaView plugin makes two packages: the converters' package as ever (the
    # files of no named component), and the plugin's, which needs the ParaView it was built
    # against. Its libraries link ParaView's private ones, which carry no shlibs information.
    set(CPACK_COMPONENTS_ALL Unspecified paraview_plugin)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_RPM_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME vox)
    set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
    set(CPACK_RPM_UNSPECIFIED_PACKAGE_NAME vox)
    set(CPACK_RPM_UNSPECIFIED_FILE_NAME RPM-DEFAULT)
    set(pv ${VOX_PARAVIEW_SERIES})
    set(pv_next ${VOX_PARAVIEW_NEXT_SERIES})
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_PACKAGE_NAME vox-paraview-plugin)
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_PACKAGE_SHLIBDEPS ON)
    # The reader module's library lies in the plugin's folder, beside the plugin.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
        ${PROJECT_BINARY_DIR}/_CPack_Packages/Linux/DEB/vox-${PROJECT_VERSION}-Linux/paraview_plugin/usr/${VOX_PLUGIN_DIR}/VoxReader)
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_PACKAGE_DEPENDS
        "python3-paraview (>= ${pv}), python3 (>= ${VOX_PYTHON_SERIES}), python3 (<< ${VOX_PYTHON_NEXT_SERIES})")
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_PACKAGE_SUGGESTS "")
    string(JOIN "\n" CPACK_DEBIAN_PARAVIEW_PLUGIN_DESCRIPTION
        "The ParaView plugin of these converters: ParaView and pvpython open the"
        "files that voxaxis, voxeven and voxslab write, as they are, with nothing to"
        "load by hand. Also the reader class as the Python package vox in pvpython.")
    install(FILES ${PROJECT_BINARY_DIR}/copyright ${changelogs}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vox-paraview-plugin COMPONENT paraview_plugin)
    set(CPACK_DEBIAN_PARAVIEW_PLUGIN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/plugin-conffiles/conffiles)
    file(WRITE ${PROJECT_BINARY_DIR}/plugin-conffiles/conffiles "/etc/profile.d/vox-paraview.sh\n")
    set(CPACK_RPM_PARAVIEW_PLUGIN_PACKAGE_NAME vox-paraview-plugin)
    set(CPACK_RPM_PARAVIEW_PLUGIN_FILE_NAME RPM-DEFAULT)
    set(CPACK_RPM_PARAVIEW_PLUGIN_PACKAGE_AUTOREQ OFF)
    set(CPACK_RPM_PARAVIEW_PLUGIN_USER_FILELIST "%config(noreplace) /etc/profile.d/vox-paraview.sh")
    list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /etc/profile.d /usr/lib/python3
        /usr/lib/python3/dist-packages /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}
        /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/paraview-${pv}
        /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/paraview-${pv}/plugins)
    set(CPACK_RPM_PARAVIEW_PLUGIN_PACKAGE_REQUIRES "paraview >= ${pv}, paraview < ${pv_next}")
    set(CPACK_RPM_UNSPECIFIED_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
    set(CPACK_RPM_PARAVIEW_PLUGIN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PARAVIEW_PLUGIN_DESCRIPTION}")
endif()

if(VOX_VTK)
    # The VTK module is for a build folder and Python's path, not for the converters' package:
    # that package holds the files of no named component alone, as in every other build.
    set(CPACK_COMPONENTS_ALL Unspecified)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_RPM_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
endif()

include(CPack)
