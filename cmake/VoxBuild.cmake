# Flags for every build, so that the tests run the very binaries that the packages ship.
#
# Hardening as Debian's dpkg-buildflags sets it by default: _FORTIFY_SOURCE, the strong stack
# protector, format checks, RELRO with immediate binding, and position-independent executables.
# Reproducibility: no build folder in the binaries (and so none in their build id), no compiler
# identification (.comment), and one time stamp for everything that holds a date.

# The time stamp: SOURCE_DATE_EPOCH from the environment when configuring, else the time of the
# last commit, else (a source tree without git) the time CHANGELOG.md was last changed.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(VOX_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    set(VOX_SOURCE_DATE_EPOCH "")
    if(GIT_FOUND)
        execute_process(
            COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE VOX_SOURCE_DATE_EPOCH
            OUTPUT_STRIP_TRAILING_WHITESPACE
            ERROR_QUIET)
        # A new commit changes the time stamp: configure again when the checkout moves.
        execute_process(
            COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE git_dir
            OUTPUT_STRIP_TRAILING_WHITESPACE
            ERROR_QUIET)
        if(git_dir AND EXISTS "${git_dir}/logs/HEAD")
            set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
                CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
        endif()
    endif()
    if(NOT VOX_SOURCE_DATE_EPOCH)
        file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CHANGELOG.md VOX_SOURCE_DATE_EPOCH "%s" UTC)
    endif()
endif()
if(NOT VOX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not '${VOX_SOURCE_DATE_EPOCH}'")
endif()
# string(TIMESTAMP) and CPack read it from the environment.
set(ENV{SOURCE_DATE_EPOCH} ${VOX_SOURCE_DATE_EPOCH})
string(TIMESTAMP VOX_DATE "%Y-%m-%d" UTC)

# Paths of this tree (the build folder included, when it lies inside) are written relative to it.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -fno-ident)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security -Wdate-time)
add_link_options(-Wl,-z,relro -Wl,-z,now)
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# No .comment section in any program of this project, which the C runtime's start files would
# bring in even though the compiler writes none: it goes right after linking. A link rule is a
# list of commands, run one after the other by every generator (the Makefile generators run each
# on its own, without a shell; Ninja joins them with &&), so the removal is a second entry of the
# list, never shell syntax appended to the first.
if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy (binutils) is needed to build the programs")
endif()
list(APPEND CMAKE_CXX_LINK_EXECUTABLE "\"${CMAKE_OBJCOPY}\" --remove-section=.comment <TARGET>")

# _FORTIFY_SOURCE, for the code that ships. It needs the optimiser, so the unoptimised sanitizer
# build goes without.
function(vox_harden target)
    target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endfunction()
