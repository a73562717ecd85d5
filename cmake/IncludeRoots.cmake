# The layering is enforced by the include path. Each module's headers are reached only through an
# include root in the build tree that holds one entry named after the module, a link to its source
# folder, so includes keep their spelling from the repository root ("engine/RewriteLine.h"). A
# module's target exposes its root to whatever links it, and no target sees the source tree as a
# whole: an include of a module that a target does not link fails to compile.
#
#   vandor_include_root(<target> <folder> [EXCLUDE <entry>...])
#
# <folder> is relative to the repository root and may be nested ("common/qt"). With EXCLUDE the
# module's entry is a real folder holding a link for each entry of the source folder except the
# excluded ones, so a subfolder that is a module of its own (common/qt) stays out of sight.
function(vandor_include_root target folder)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "EXCLUDE")
    string(MAKE_C_IDENTIFIER "${folder}" name)
    set(root ${PROJECT_BINARY_DIR}/include-roots/${name})
    set(source ${PROJECT_SOURCE_DIR}/${folder})
    set(entry ${root}/${folder})

    get_filename_component(parent ${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    # Removes a link or a folder of links; never follows a link into the sources.
    file(REMOVE_RECURSE ${entry})
    if(arg_EXCLUDE)
        file(MAKE_DIRECTORY ${entry})
        # Re-listed at build time, so an added or removed file reconfigures the build.
        file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*)
        foreach(child IN LISTS children)
            if(NOT child IN_LIST arg_EXCLUDE)
                file(CREATE_LINK ${source}/${child} ${entry}/${child} SYMBOLIC)
            endif()
        endforeach()
    else()
        file(CREATE_LINK ${source} ${entry} SYMBOLIC)
    endif()

    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    elseif(type STREQUAL "EXECUTABLE")
        target_include_directories(${target} PRIVATE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
