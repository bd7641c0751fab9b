# Checks that every place the version shows agrees with project(VERSION) (VERSION): the macros of
# the generated velmora/Version.h (HEADER), the CMake package version file and velmora.pc (FILES,
# "|"-separated, optional), and the `--version` output "<tool> VERSION" of each of PROGRAMS
# ("|"-separated).
string(REPLACE "." ";" parts ${VERSION})
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
string(REPLACE "." "\\." versionPattern ${VERSION})
file(READ ${HEADER} header)
foreach(define "_MAJOR ${major}" "_MINOR ${minor}" "_PATCH ${patch}" " \"${versionPattern}\"")
  if(NOT header MATCHES "#define VELMORA_VERSION${define}\n")
    message(FATAL_ERROR "${HEADER} lacks #define VELMORA_VERSION${define}:\n${header}")
  endif()
endforeach()

string(REPLACE "|" ";" files "${FILES}")
foreach(file ${files})
  file(READ ${file} text)
  if(NOT text MATCHES "(PACKAGE_VERSION \"|\nVersion: )${versionPattern}[\"\n]")
    message(FATAL_ERROR "${file} does not give version ${VERSION}:\n${text}")
  endif()
endforeach()

string(REPLACE "|" ";" programs "${PROGRAMS}")
foreach(program ${programs})
  execute_process(COMMAND ${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  get_filename_component(name ${program} NAME)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n")
    message(FATAL_ERROR "${program} --version: exit ${rc}, \"${out}\"; expected \"${name} ${VERSION}\"")
  endif()
endforeach()
