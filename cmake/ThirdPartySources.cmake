# The source of the libraries every build compiles into sfxpack, libdeflate,
# zopfli and expat: Debian's source packages, which the first configure of a fresh
# clone fetches into build/third_party (scripts/lib/third_party.sh: apt with
# a configuration and state of the project's own, no root, the system's apt
# configuration untouched), so that the README's commands build from source.
set(SFX_THIRD_PARTY ${PROJECT_SOURCE_DIR}/build/third_party)
if(NOT EXISTS ${SFX_THIRD_PARTY}/libdeflate-1.14/libdeflate.h OR
   NOT EXISTS ${SFX_THIRD_PARTY}/zopfli-1.0.3/src/zopfli/zopfli.h OR
   NOT EXISTS ${SFX_THIRD_PARTY}/expat-2.5.0/expat/lib/expat.h)
    message(STATUS "Fetching libdeflate's, zopfli's and expat's source from Debian into ${SFX_THIRD_PARTY}")
    execute_process(
        COMMAND bash -c "source scripts/lib/third_party.sh && sfx_fetch_third_party \"$PWD\""
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        RESULT_VARIABLE fetched ERROR_VARIABLE why)
    if(NOT fetched EQUAL 0)
        message(WARNING "Could not fetch the third-party source (${why}); it needs apt-get with Debian's "
                        "deb-src archives reachable and dpkg-dev installed")
    endif()
endif()
