# quillet_add_test(<name> SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s] [ENVIRONMENT K=V ...])
# One QtTest executable per unit, registered with ctest. Every test runs offscreen, in a fixed
# locale and time zone unless it sets its own.
function(quillet_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;TZ=UTC;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;${T_ENVIRONMENT}")
endfunction()
