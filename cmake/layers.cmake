# The code stands in layers that only point down:
#   platform -> serial -> protocol -> loader -> settings-using front ends (ui, cli) -> app
# with sim on platform alone and res on nothing. Every include names its folder
# ("loader/program_file.h"), so the source root cannot be on the include path: it would open every
# folder to every target. Instead each layer's library publishes only its own folder, through a
# folder in the build tree that holds nothing but a link to it, and a target sees a folder only
# when it links that layer. An include that points up a layer then fails to build.
function(tovik_layer target folder)
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${root}/${folder})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    get_target_property(kind ${target} TYPE)
    if(kind STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
        target_compile_options(${target} PRIVATE ${TOVIK_WARNINGS})
    endif()
endfunction()
