# The Windows program's tests under Wine, run by the native build's tests
# (tests/CMakeLists.txt includes this file when VORMO_WINDOWS_BUILD names a
# Windows build tree): the window tests against the Windows program, all but
# the ones about POSIX signals, with the port's own checks ...
add_test(NAME windows_window_tests
         COMMAND window_tests
         --gtest_filter=RealWindow.*:Sessions/*:UnderWine.*:ShortScreen.*:-RealWindow.Sigterm*:Sessions/EachSession.ALostDisplay*)
set_tests_properties(windows_window_tests PROPERTIES
  ENVIRONMENT "VORMO_LAUNCHER=wine;VORMO_KIDNEY=${VORMO_WINDOWS_BUILD}/vormo-kidney.exe;VORMO_DECODE_CHECK=${VORMO_WINDOWS_BUILD}/decode_check.exe;VORMO_MESSAGES_CHECK=${VORMO_WINDOWS_BUILD}/messages_check.exe;VORMO_WINDOW_CHECK=${VORMO_WINDOWS_BUILD}/window_check.exe;VORMO_SOAK_SECONDS=20"
  LABELS "window;wine" TIMEOUT 900)

# ... and the installer and portable zip: their contents, and installing,
# upgrading and removing under Wine.
add_executable(installer_tests ${PROJECT_SOURCE_DIR}/tests/e2e/installer_test.cpp)
target_link_libraries(installer_tests PRIVATE vormo_harness vormo_warnings GTest::gtest_main)
target_compile_definitions(installer_tests PRIVATE VORMO_VERSION="${PROJECT_VERSION}"
                           VORMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VORMO_CMAKE="${CMAKE_COMMAND}")
add_test(NAME windows_installer_tests COMMAND installer_tests)
set_tests_properties(windows_installer_tests PROPERTIES
  ENVIRONMENT "VORMO_WINDOWS_BUILD=${VORMO_WINDOWS_BUILD}" LABELS "wine;package" TIMEOUT 900)
