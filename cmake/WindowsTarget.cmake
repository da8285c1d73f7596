# What every Windows program of ours is built with: the Windows 2000/XP API
# level, a static runtime (no MinGW DLL beside the program), and shell32's
# SHCreateDirectory imported by its ordinal.

add_library(sfx_windows INTERFACE)
target_compile_definitions(sfx_windows INTERFACE _WIN32_WINNT=0x0501 WINVER=0x0501)
target_link_options(sfx_windows INTERFACE -static -static-libgcc -static-libstdc++)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Windows 2000 and XP load no image that asks for a newer system.
    target_link_options(sfx_windows INTERFACE
        LINKER:--major-os-version,5,--minor-os-version,0
        LINKER:--major-subsystem-version,5,--minor-subsystem-version,0)
    set(shcreatedirectory_symbol "SHCreateDirectory@8")
else()
    set(shcreatedirectory_symbol "SHCreateDirectory")
endif()

# Windows 2000 exports SHCreateDirectory by ordinal 165 only, so the import
# library names the ordinal, not the function.
set(ordinal_def ${CMAKE_BINARY_DIR}/shell32_ordinals.def)
set(ordinal_lib ${CMAKE_BINARY_DIR}/libshell32_ordinals.a)
file(WRITE ${ordinal_def} "LIBRARY shell32.dll\nEXPORTS\n${shcreatedirectory_symbol} @165 NONAME\n")
add_custom_command(OUTPUT ${ordinal_lib}
    COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${ordinal_def} --output-lib ${ordinal_lib}
    DEPENDS ${ordinal_def}
    COMMENT "Import library for shell32 ordinal 165")
add_custom_target(shell32_ordinals_lib DEPENDS ${ordinal_lib})
add_library(shell32_ordinals STATIC IMPORTED GLOBAL)
set_target_properties(shell32_ordinals PROPERTIES IMPORTED_LOCATION ${ordinal_lib})
add_dependencies(shell32_ordinals shell32_ordinals_lib)

# Release programs carry no symbols.
target_link_options(sfx_windows INTERFACE $<$<CONFIG:Release,MinSizeRel>:-s>)

# The linker's own script with one change: the resource section comes last,
# after the base relocations, so that the packer rewrites it in place instead
# of leaving a dead copy of it in every installer.
execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE linker_help RESULT_VARIABLE linker_result)
string(REGEX MATCH "==================================================\n(.*)\n==================================================" script "${linker_help}")
set(script "${CMAKE_MATCH_1}")
string(REGEX MATCH "  \\.rsrc [^}]*}\n" resource_block "${script}")
string(REGEX MATCH "  \\.reloc [^}]*}\n" relocation_block "${script}")
if(linker_result OR NOT resource_block OR NOT relocation_block)
    message(FATAL_ERROR "The linker's default script has no .rsrc and .reloc blocks to reorder")
endif()
string(REPLACE "${resource_block}" "" script "${script}")
string(REPLACE "${relocation_block}" "${relocation_block}${resource_block}" script "${script}")
set(SFX_RESOURCES_LAST_SCRIPT ${CMAKE_BINARY_DIR}/resources-last.x)
file(WRITE ${SFX_RESOURCES_LAST_SCRIPT} "${script}\n")
