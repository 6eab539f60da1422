# Finds what acoustic measurement needs: FFTW3 (double precision) for the transforms and
# libsndfile for sound files. Both are looked up as libraries and headers, so a cross build finds
# only its own (the MinGW toolchain restricts the search to its root). Sets
# ZELTO_HAVE_ACOUSTICS and, when true, the imported targets zelto::fftw3 and zelto::sndfile.
set(ZELTO_HAVE_ACOUSTICS FALSE)
if(NOT ZELTO_ACOUSTICS STREQUAL "OFF")
  find_path(ZELTO_FFTW3_INCLUDE_DIR fftw3.h)
  find_library(ZELTO_FFTW3_LIBRARY NAMES fftw3 libfftw3-3)
  find_path(ZELTO_SNDFILE_INCLUDE_DIR sndfile.h)
  find_library(ZELTO_SNDFILE_LIBRARY NAMES sndfile libsndfile-1)
  if(ZELTO_FFTW3_INCLUDE_DIR AND ZELTO_FFTW3_LIBRARY AND ZELTO_SNDFILE_INCLUDE_DIR AND ZELTO_SNDFILE_LIBRARY)
    set(ZELTO_HAVE_ACOUSTICS TRUE)
    add_library(zelto::fftw3 UNKNOWN IMPORTED)
    set_target_properties(zelto::fftw3 PROPERTIES IMPORTED_LOCATION ${ZELTO_FFTW3_LIBRARY}
                                                  INTERFACE_INCLUDE_DIRECTORIES ${ZELTO_FFTW3_INCLUDE_DIR})
    add_library(zelto::sndfile UNKNOWN IMPORTED)
    set_target_properties(zelto::sndfile PROPERTIES IMPORTED_LOCATION ${ZELTO_SNDFILE_LIBRARY}
                                                    INTERFACE_INCLUDE_DIRECTORIES ${ZELTO_SNDFILE_INCLUDE_DIR})
    message(STATUS "Acoustic measurement: FFTW3 ${ZELTO_FFTW3_LIBRARY}, libsndfile ${ZELTO_SNDFILE_LIBRARY}")
  elseif(ZELTO_ACOUSTICS STREQUAL "ON")
    message(FATAL_ERROR "FFTW3 or libsndfile not found (install libfftw3-dev and libsndfile1-dev, "
                        "or set ZELTO_ACOUSTICS=OFF)")
  else()
    message(STATUS "FFTW3 or libsndfile not found: building without acoustic measurement")
  endif()
else()
  message(STATUS "Acoustic measurement switched off (ZELTO_ACOUSTICS=OFF)")
endif()
