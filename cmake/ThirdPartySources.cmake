# The source of the libraries every build compiles into sfxpack, libdeflate,
# zopfli and expat: Debian's source packages, which the first configure of a fresh
# clone fetches into build/third_party (scripts/lib/third_party.sh: apt with
# a configuration and state of the project's own, no root, the system's apt
# configuration untouched), so that the README's commands build from source.
set(SFX_THIRD_PARTY ${PROJECT_SOURCE_DIR}/build/third_party)
# libdeflate takes patches of ours, which the fetching applies and records in
# the tree by name and contents (again when one changes: editing a patch
# configures anew).
file(GLOB libdeflate_patches CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/libdeflate/*.patch)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${libdeflate_patches})
function(sfx_libdeflate_is_patched result)
    set(wanted "")
    foreach(patch IN LISTS libdeflate_patches)
        file(SHA256 ${patch} sum)
        string(SUBSTRING "${sum}" 0 16 sum)
        cmake_path(GET patch FILENAME name)
        list(APPEND wanted "${name} ${sum}")
    endforeach()
    set(applied "")
    if(EXISTS ${SFX_THIRD_PARTY}/libdeflate-1.14/.quillmoor-patches)
        file(STRINGS ${SFX_THIRD_PARTY}/libdeflate-1.14/.quillmoor-patches applied)
    endif()
    # All of them and nothing else: a patch taken out of cmake/libdeflate is undone too.
    if("${applied}" STREQUAL "${wanted}")
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()
sfx_libdeflate_is_patched(libdeflate_patched)
if(NOT libdeflate_patched OR NOT EXISTS ${SFX_THIRD_PARTY}/libdeflate-1.14/libdeflate.h OR
   NOT EXISTS ${SFX_THIRD_PARTY}/zopfli-1.0.3/src/zopfli/zopfli.h OR
   NOT EXISTS ${SFX_THIRD_PARTY}/expat-2.5.0/expat/lib/expat.h)
    message(STATUS "Fetching libdeflate's, zopfli's and expat's source from Debian into ${SFX_THIRD_PARTY}, "
                   "and patching libdeflate")
    execute_process(
        COMMAND bash -c "source scripts/lib/third_party.sh && sfx_fetch_third_party \"$PWD\""
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        RESULT_VARIABLE fetched ERROR_VARIABLE why)
    if(NOT fetched EQUAL 0)
        message(WARNING "Could not fetch or patch the third-party source (${why}); it needs apt-get with "
                        "Debian's deb-src archives reachable, dpkg-dev and patch installed")
    endif()
    sfx_libdeflate_is_patched(libdeflate_patched)
    if(NOT libdeflate_patched)
        message(FATAL_ERROR "${SFX_THIRD_PARTY}/libdeflate-1.14 is not patched with cmake/libdeflate's patches "
                            "as they are now (${why}): remove it, and configure again to fetch it afresh")
    endif()
endif()
