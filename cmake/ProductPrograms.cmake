# In the product's test build (see ProductTests.cmake) the programs under test
# are the product's own: copied in under their usual names, in place of being
# built again with another toolchain.
set(SFX_PRODUCT_DIR "" CACHE PATH "The win32 build whose programs the Windows tests run, instead of their own")

# Gives `target` (sfxstub, sfxpack) as the product's `file`, copied from SFX_PRODUCT_DIR.
function(sfx_product_program target file)
    set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${file})
    add_custom_command(OUTPUT ${copy}
        COMMAND ${CMAKE_COMMAND} -E copy ${SFX_PRODUCT_DIR}/${file} ${copy}
        DEPENDS ${SFX_PRODUCT_DIR}/${file}
        COMMENT "The product's ${file}, from ${SFX_PRODUCT_DIR}")
    add_custom_target(${target} ALL DEPENDS ${copy})
endfunction()
