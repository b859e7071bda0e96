# Compares the symbols that libQorUtils.so exports (nm -D --defined-only, demangled) with the
# committed list, so that a change of the library's binary interface is seen and committed on
# purpose. Instantiations of the standard library's templates come and go with the compiler's
# inlining and are left out. Run by ctest with -DLIBRARY=<the .so> -DLIST=<the list>; with
# -DUPDATE=ON it rewrites the list instead (make symbols).
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
                OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${output}")
set(symbols)
foreach(line IN LISTS lines)
    # "<address> <type> <name>": the name is everything after the type letter.
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.*)$")
        set(name "${CMAKE_MATCH_1}")
        # A function template's instance names its return type first (one word, or two).
        if(NOT name MATCHES "^(unsigned long |[^ (<]+ )?(std::|__gnu_cxx::)")
            list(APPEND symbols "${name}")
        endif()
    endif()
endforeach()
list(SORT symbols)
list(REMOVE_DUPLICATES symbols)
list(JOIN symbols "\n" actual)
set(actual "${actual}\n")

if(UPDATE)
    file(WRITE ${LIST} "${actual}")
    list(LENGTH symbols count)
    message(STATUS "${LIST}: ${count} exported symbols")
    return()
endif()

file(READ ${LIST} expected)
if(NOT actual STREQUAL expected)
    string(REPLACE "\n" ";" expected_symbols "${expected}")
    list(REMOVE_ITEM expected_symbols "")
    set(added ${symbols})
    list(REMOVE_ITEM added ${expected_symbols})
    set(removed ${expected_symbols})
    list(REMOVE_ITEM removed ${symbols})
    set(changes)
    foreach(name IN LISTS added)
        string(APPEND changes "  + ${name}\n")
    endforeach()
    foreach(name IN LISTS removed)
        string(APPEND changes "  - ${name}\n")
    endforeach()
    message(FATAL_ERROR "The exported symbols differ from ${LIST}:\n${changes}"
                        "If the change is meant, run `make symbols` and commit the list with it.")
endif()
