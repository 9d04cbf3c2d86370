# Fails when a file of one of the program's folders includes a header of a folder that the graph
# drawn in docs/architecture.md does not let it use, or when that graph has a cycle. The drawing
# is the rule: a new dependency is drawn there first, where every reader sees it.
#
#   cmake -DTX_SOURCE_DIR=<source folder> -P cmake/CheckDependencies.cmake

cmake_minimum_required(VERSION 3.25)

set(doc_path "${TX_SOURCE_DIR}/docs/architecture.md")
file(READ "${doc_path}" doc)
# The first Mermaid block after the heading that introduces it.
string(FIND "${doc}" "## Which folder may use which" heading)
if(heading EQUAL -1)
  message(FATAL_ERROR "${doc_path}: no section \"Which folder may use which\"")
endif()
string(SUBSTRING "${doc}" ${heading} -1 doc)
string(REGEX MATCH "```mermaid\n[^`]*```" block "${doc}")
if(NOT block)
  message(FATAL_ERROR "${doc_path}: no mermaid block under \"Which folder may use which\"")
endif()

# Edges are drawn as "from --> to", one to a line.
string(REGEX MATCHALL "[a-z]+ --> [a-z]+" edges "${block}")
set(folders "")
set(allowed "")
foreach(edge IN LISTS edges)
  string(REGEX REPLACE "([a-z]+) --> ([a-z]+)" "\\1;\\2" pair "${edge}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  list(APPEND folders ${from} ${to})
  list(APPEND allowed "${from}>${to}")
endforeach()
list(REMOVE_DUPLICATES folders)

# No cycle: leaves (folders that use no remaining folder) are taken away until none are left.
set(remaining ${folders})
while(remaining)
  set(leaves "")
  foreach(folder IN LISTS remaining)
    set(uses_remaining FALSE)
    foreach(other IN LISTS remaining)
      if(NOT other STREQUAL folder AND "${folder}>${other}" IN_LIST allowed)
        set(uses_remaining TRUE)
      endif()
    endforeach()
    if(NOT uses_remaining)
      list(APPEND leaves ${folder})
    endif()
  endforeach()
  if(NOT leaves)
    message(FATAL_ERROR "${doc_path}: the drawn dependencies go round in a circle among: ${remaining}")
  endif()
  list(REMOVE_ITEM remaining ${leaves})
endwhile()

# Every include of another folder's header must follow a drawn edge.
set(problems "")
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources RELATIVE "${TX_SOURCE_DIR}"
       "${TX_SOURCE_DIR}/${folder}/*.cpp" "${TX_SOURCE_DIR}/${folder}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${TX_SOURCE_DIR}/${source}" includes REGEX "^#include \"[a-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" used "${line}")
      if(NOT used STREQUAL folder AND NOT "${folder}>${used}" IN_LIST allowed)
        string(APPEND problems "  ${source}: ${line} (${folder} may not use ${used})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Includes against the dependency graph of docs/architecture.md:\n${problems}")
endif()
