# The audio devices and the measurement procedure. The tests that play sound run against a
# PulseAudio server that the fixture starts (scripts/pulse) and stops again; without one they skip
# themselves and say why, except in CI (ZELTO_AUDIO_REQUIRED=1), where the fixture fails instead.
set(ZELTO_AUDIO_SERVER_DIR ${CMAKE_CURRENT_BINARY_DIR}/acoustics/pulse)
add_test(NAME audio_server_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/pulse start ${ZELTO_AUDIO_SERVER_DIR})
add_test(NAME audio_server_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/pulse stop ${ZELTO_AUDIO_SERVER_DIR})
set_tests_properties(audio_server_start PROPERTIES FIXTURES_SETUP audio_server)
set_tests_properties(audio_server_stop PROPERTIES FIXTURES_CLEANUP audio_server)

add_executable(audio_tests
  acoustics/audio_device_test.cpp
  acoustics/audio_loopback_test.cpp
  acoustics/procedure_routing_test.cpp
  acoustics/rta_run_test.cpp
)
target_link_libraries(audio_tests PRIVATE zelto_engine GTest::gtest GTest::gtest_main GTest::gmock)
# zeltoctl measure against a started zelto-sim, where processes can be started and signalled.
if(NOT WIN32)
  target_sources(audio_tests PRIVATE acoustics/procedure_ctl_test.cpp)
  target_link_libraries(audio_tests PRIVATE zelto_ctl zelto_json zelto_test_child)
  target_compile_definitions(audio_tests PRIVATE ZELTOCTL_EXE="$<TARGET_FILE:zeltoctl>")
  add_dependencies(audio_tests zelto-sim zeltoctl)
endif()
target_include_directories(audio_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
if(NOT CMAKE_CROSSCOMPILING)
  # The sound tests share one server and its sinks, so they run one at a time.
  gtest_discover_tests(audio_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
    FIXTURES_REQUIRED audio_server RESOURCE_LOCK audio_server
    ENVIRONMENT "ZELTO_AUDIO_ENV=${ZELTO_AUDIO_SERVER_DIR}/env;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/acoustics/audio_lsan.supp")
endif()

# The window's measurement panel.
if(TARGET zelto_acoustics_ui)
  add_executable(audio_panel_tests acoustics/audio_panel_test.cpp)
  target_link_libraries(audio_panel_tests PRIVATE zelto_acoustics_ui zelto_engine GTest::gtest)
  target_include_directories(audio_panel_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(audio_panel_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZELTO_AUDIO_API=pulse;PULSE_SERVER=unix:/nonexistent")
endif()

# zeltoctl autotune against zelto-sim playing a car, on the same audio server.
if(TARGET zelto_twin AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_executable(autotune_audio_tests acoustics/autotune_ctl_test.cpp)
  target_link_libraries(autotune_audio_tests PRIVATE zelto_ctl zelto_json zelto_twin zelto_engine zelto_test_child
    GTest::gtest GTest::gtest_main)
  target_include_directories(autotune_audio_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/sim)
  target_compile_definitions(autotune_audio_tests PRIVATE ZELTOCTL_EXE="$<TARGET_FILE:zeltoctl>"
    ZELTO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  add_dependencies(autotune_audio_tests zelto-sim zeltoctl)
  # Alone on the machine: a chain of four audio streams through two programs glitches when the
  # processors are busy, and every glitch costs a sweep played again.
  gtest_discover_tests(autotune_audio_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
    FIXTURES_REQUIRED audio_server RESOURCE_LOCK audio_server RUN_SERIAL TRUE
    ENVIRONMENT "ZELTO_AUDIO_ENV=${ZELTO_AUDIO_SERVER_DIR}/env")
endif()

# The window's auto-tune: its dialog, and the editor tuning zelto-sim's demo car on the same server.
if(TARGET zelto_acoustics_ui AND TARGET zelto_app AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  # The editor tests' main: one QApplication, offscreen unless told otherwise.
  add_executable(auto_tune_window_tests acoustics/auto_tune_window_test.cpp app/main.cpp)
  target_link_libraries(auto_tune_window_tests PRIVATE zelto_app zelto_acoustics_ui zelto_engine Qt6::Test GTest::gtest)
  target_include_directories(auto_tune_window_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(auto_tune_window_tests PRIVATE ZELTOCTL_EXE="$<TARGET_FILE:zeltoctl>")
  add_dependencies(auto_tune_window_tests zelto-sim zeltoctl)
  gtest_discover_tests(auto_tune_window_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
    FIXTURES_REQUIRED audio_server RESOURCE_LOCK audio_server
    ENVIRONMENT "ZELTO_AUDIO_ENV=${ZELTO_AUDIO_SERVER_DIR}/env")
endif()
