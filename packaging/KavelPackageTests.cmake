# Tests of what gets installed. A tool that is missing makes its test skip
# (exit status 77) rather than fail.
set(pkgtests ${PROJECT_SOURCE_DIR}/tests/package)

add_test(NAME package_desktop_file
         COMMAND sh -c "command -v desktop-file-validate >/dev/null || exit 77; \
desktop-file-validate \"$0\"" ${CMAKE_CURRENT_SOURCE_DIR}/${KAVEL_APP_ID}.desktop)
add_test(NAME package_metainfo
         COMMAND ${pkgtests}/metainfo-check
                 ${CMAKE_CURRENT_BINARY_DIR}/${KAVEL_APP_ID}.metainfo.xml ${PROJECT_VERSION})
add_test(NAME package_install
         COMMAND ${pkgtests}/install-check ${CMAKE_BINARY_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/expected-install.txt ${CMAKE_INSTALL_PREFIX})
add_test(NAME package_launcher
         COMMAND ${pkgtests}/launcher-check ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_PREFIX}
                 $<TARGET_FILE:kavel_test_hook>)
add_test(NAME package_service
         COMMAND ${pkgtests}/unit-check ${CMAKE_CURRENT_BINARY_DIR}/quarnd.service
                 ${CMAKE_CURRENT_SOURCE_DIR}/systemd/quarnd.default $<TARGET_FILE:quarnd>)
set_tests_properties(package_desktop_file package_metainfo package_service
                     PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
# Both install into staging folders of their own.
set_tests_properties(package_install package_launcher PROPERTIES TIMEOUT 300)
