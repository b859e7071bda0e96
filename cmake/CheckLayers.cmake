# The library's layering: a folder of src/ or include/QorUtils/ includes only folders that stand
# below it. The order of the folders, lowest first, is written here and nowhere else; folders
# on one line stand side by side and include none of each other. A folder missing from the
# list is an error too, so that a new one takes its place on purpose.
#
#   cmake -DROOT=<source tree> -P CheckLayers.cmake       checks the tree (ctest: Layering)
#   cmake -DSELF_TEST=<scratch> -P CheckLayers.cmake      plants violations in a scratch tree
#                                                         and fails unless each one is found
cmake_minimum_required(VERSION 3.25)

set(QORUTILS_LAYERS
    "attribute log messages text"
    "platform"
    "object xml"
    "top")

# The layer of `folder` (0 for the lowest) in `out`, or -1 when it is not listed.
function(layer_of folder out)
    set(index 0)
    foreach(layer IN LISTS QORUTILS_LAYERS)
        string(REPLACE " " ";" members "${layer}")
        if(folder IN_LIST members)
            set(${out} ${index} PARENT_SCOPE)
            return()
        endif()
        math(EXPR index "${index} + 1")
    endforeach()
    set(${out} -1 PARENT_SCOPE)
endfunction()

# Every violation under `root`, one line each, in `out`.
function(find_violations root out)
    set(violations)
    file(GLOB_RECURSE sources RELATIVE ${root} ${root}/src/*.h ${root}/src/*.cpp
         ${root}/include/QorUtils/*.h)
    list(SORT sources)
    foreach(source IN LISTS sources)
        # The folder: src/<folder>/... or include/QorUtils/<folder>/...; files beside the
        # folders (the umbrella header, the version) belong to none.
        if(NOT source MATCHES "^(src|include/QorUtils)/([^/]+)/")
            continue()
        endif()
        set(folder ${CMAKE_MATCH_2})
        layer_of(${folder} level)
        if(level LESS 0)
            list(APPEND violations "${source}: folder '${folder}' is in no layer")
            continue()
        endif()
        file(STRINGS ${root}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS lines)
            if(NOT line MATCHES "#[ \t]*include[ \t]*[<\"](QorUtils/)?([^/>\"]+)/([^>\"]*)[>\"]")
                continue()
            endif()
            set(included ${CMAKE_MATCH_2})
            layer_of(${included} included_level)
            if(included STREQUAL folder OR included_level LESS 0)
                continue()
            endif()
            if(NOT included_level LESS level)
                list(APPEND violations
                     "${source}: includes ${included}/${CMAKE_MATCH_3}, which does not stand below ${folder}")
            endif()
        endforeach()
    endforeach()
    set(${out} "${violations}" PARENT_SCOPE)
endfunction()

list(JOIN QORUTILS_LAYERS " < " order)
if(DEFINED ROOT)
    find_violations(${ROOT} violations)
    if(violations)
        list(JOIN violations "\n  " text)
        message(FATAL_ERROR "layering violations (${order}):\n  ${text}")
    endif()
    message(STATUS "layering: every include points down (${order})")
elseif(DEFINED SELF_TEST)
    # A tree that keeps the rules, with one planted violation of each kind.
    file(REMOVE_RECURSE ${SELF_TEST})
    file(WRITE ${SELF_TEST}/src/platform/Reader.cpp
         "#include \"platform/Reader.h\"\n#include \"text/Utf8.h\"\n#include <QorUtils/platform/SAX.h>\n#include <cstring>\n")
    file(WRITE ${SELF_TEST}/src/top/Top.cpp
         "#include \"xml/HandlerTree.h\"\n#include <QorUtils/object/Entry.h>\n")
    file(WRITE ${SELF_TEST}/include/QorUtils/QorUtils.h "#include <QorUtils/top/FITopEntry.h>\n")
    file(WRITE ${SELF_TEST}/src/text/Up.cpp "#include \"platform/SAXParseSession.h\"\n")
    file(WRITE ${SELF_TEST}/include/QorUtils/attribute/Up.h "  # include <QorUtils/object/Entry.h>\n")
    file(WRITE ${SELF_TEST}/src/object/Beside.cpp "#include \"xml/XmlSupport.h\"\n")
    file(WRITE ${SELF_TEST}/src/extra/New.cpp "#include <cstring>\n")
    set(expected
        "include/QorUtils/attribute/Up.h: includes object/Entry.h, which does not stand below attribute"
        "src/extra/New.cpp: folder 'extra' is in no layer"
        "src/object/Beside.cpp: includes xml/XmlSupport.h, which does not stand below object"
        "src/text/Up.cpp: includes platform/SAXParseSession.h, which does not stand below text")
    find_violations(${SELF_TEST} violations)
    if(NOT violations STREQUAL expected)
        list(JOIN violations "\n  " found)
        list(JOIN expected "\n  " wanted)
        message(FATAL_ERROR "the check found:\n  ${found}\nwhere it should find:\n  ${wanted}")
    endif()
    file(REMOVE_RECURSE ${SELF_TEST})
    message(STATUS "layering check: the four planted violations found, nothing else")
else()
    message(FATAL_ERROR "give -DROOT=<source tree> or -DSELF_TEST=<scratch directory>")
endif()
