# The one version number of every program and of the package: the project version, and when
# building from a git checkout the distance from its release tag (v<project version>) and the
# commit, so two builds of different commits never carry the same number:
#   0.1.0              built from the tagged commit or from a source tarball
#   0.1.0+42.g1a2b3c4  42 commits after the tag (or after the start, before any tag)
# A '+' suffix sorts after the release itself, as a Debian version must.
# The number lands in a generated header in the build tree; no source file changes per commit.

set(ZELTO_VERSION "${PROJECT_VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=7 HEAD
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE _zelto_commit
                  RESULT_VARIABLE _zelto_git_failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT _zelto_git_failed)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-list --count "v${PROJECT_VERSION}..HEAD"
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE _zelto_distance
                    RESULT_VARIABLE _zelto_no_tag OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(_zelto_no_tag)
      execute_process(COMMAND "${GIT_EXECUTABLE}" rev-list --count HEAD
                      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE _zelto_distance
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT _zelto_distance STREQUAL "0")
      set(ZELTO_VERSION "${PROJECT_VERSION}+${_zelto_distance}.g${_zelto_commit}")
    endif()
    # Configure again when HEAD moves (commit, checkout), so the number follows the commit.
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --git-path logs/HEAD
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE _zelto_head_log
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(_zelto_head_log AND NOT IS_ABSOLUTE "${_zelto_head_log}")
      set(_zelto_head_log "${PROJECT_SOURCE_DIR}/${_zelto_head_log}")
    endif()
    if(_zelto_head_log AND EXISTS "${_zelto_head_log}")
      set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_zelto_head_log}")
    endif()
  endif()
endif()
message(STATUS "Zelto version ${ZELTO_VERSION}")

configure_file("${CMAKE_CURRENT_LIST_DIR}/zelto_version.h.in" "${PROJECT_BINARY_DIR}/generated/zelto_version.h" @ONLY)
add_library(zelto_version INTERFACE)
target_include_directories(zelto_version INTERFACE "${PROJECT_BINARY_DIR}/generated")
