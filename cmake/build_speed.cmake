# Build speed: precompiled headers, a faster linker, ccache with them. Measured figures are in
# docs/developers.md ("Build and test times"); -DOLV_PCH=OFF builds without the precompiled headers
# (e.g. to check that every file includes what it uses).
option(OLV_PCH "Precompile the headers the test programs and the window share" ON)

# RelWithDebInfo keeps the line tables and function names (-g1: backtraces, sanitizer reports and
# profiles name their lines), not the description of every local variable and type that full -g adds
# at a third of each compile's time; -DOLV_FULL_DEBUG_INFO=ON for a debugger's view of the locals.
option(OLV_FULL_DEBUG_INFO "Full debug information (-g) in RelWithDebInfo builds" OFF)
if(NOT OLV_FULL_DEBUG_INFO)
    string(REGEX REPLACE "(^| )-g( |$)" "\\1-g1\\2" CMAKE_CXX_FLAGS_RELWITHDEBINFO "${CMAKE_CXX_FLAGS_RELWITHDEBINFO}")
endif()

# ccache caches compiles that use a precompiled header only when it is sloppy about the header's
# defines and time macros: run it so for this build, whatever its own configuration says.
if(OLV_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# The linker: mold when installed, else lld, else the compiler's own (OLV_LINKER= to choose; "default"
# for the compiler's own).
set(OLV_LINKER "" CACHE STRING "Linker for -fuse-ld= (empty: mold, lld or the default, the first found)")
include(CheckLinkerFlag)
if(OLV_LINKER STREQUAL "")
    foreach(linker mold lld)
        string(TOUPPER ${linker} upper)
        check_linker_flag(CXX -fuse-ld=${linker} OLV_LINKER_${upper}_WORKS)
        if(OLV_LINKER_${upper}_WORKS)
            add_link_options(-fuse-ld=${linker})
            message(STATUS "Linker: ${linker}")
            break()
        endif()
    endforeach()
elseif(NOT OLV_LINKER STREQUAL "default")
    add_link_options(-fuse-ld=${OLV_LINKER})
endif()

# olv_precompile(target header...): the target precompiles these headers for its own sources.
# olv_reuse_precompiled(target from): the target uses another's (same flags, so the same header).
function(olv_precompile target)
    if(OLV_PCH)
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()
function(olv_reuse_precompiled target from)
    if(OLV_PCH)
        target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
endfunction()
