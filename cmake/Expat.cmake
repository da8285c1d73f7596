# expat, compiled from Debian's source package into every build of sfxpack
# (scripts/lib/third_party.sh fetches it into build/third_party): the vendor's
# manifest is checked by a conforming XML parser, the same on Linux and on
# Windows, where Debian ships no MinGW build of it.
set(SFX_EXPAT_SOURCE ${PROJECT_SOURCE_DIR}/build/third_party/expat-2.5.0/expat CACHE PATH
    "expat's source tree (fetched by the first configure, and by the scripts)")
if(NOT EXISTS ${SFX_EXPAT_SOURCE}/lib/expat.h)
    message(FATAL_ERROR "expat's source is not in ${SFX_EXPAT_SOURCE}: configuring fetches it "
                        "from Debian's source packages (scripts/lib/third_party.sh), which failed: see the warning above")
endif()
add_library(expat STATIC ${SFX_EXPAT_SOURCE}/lib/xmlparse.c ${SFX_EXPAT_SOURCE}/lib/xmlrole.c
                         ${SFX_EXPAT_SOURCE}/lib/xmltok.c)
# Our own configuration header (cmake/expat/expat_config.h), the same for
# every toolchain; linked statically, so no import decorations.
target_include_directories(expat PRIVATE ${PROJECT_SOURCE_DIR}/cmake/expat)
target_include_directories(expat SYSTEM PUBLIC ${SFX_EXPAT_SOURCE}/lib)
target_compile_definitions(expat PUBLIC XML_STATIC)
# Its own code, as its authors wrote it: no warnings of ours. It keeps the
# sanitizers, as it reads untrusted manifests from installers.
target_compile_options(expat PRIVATE -w)
