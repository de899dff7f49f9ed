# The realtime guard preloaded into a process whose code arms it, as a host
# runs a module built with -DORBEL_REALTIME_GUARD=ON.
if(TARGET orbel-rt-guard AND ORBEL_WANT_TESTS)
  add_executable(rt_guarded_work ${CMAKE_CURRENT_SOURCE_DIR}/rtguard/guarded_work.cpp
                                 ${PROJECT_SOURCE_DIR}/plugin/realtime_guard_hook.cpp)
  target_compile_definitions(rt_guarded_work PRIVATE ORBEL_REALTIME_GUARD=1)
  target_compile_options(rt_guarded_work PRIVATE -O0 -fno-omit-frame-pointer)
  target_link_libraries(rt_guarded_work PRIVATE orbel_common ${CMAKE_DL_LIBS})
  add_test(NAME rt_guard_report
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/rtguard/guard_report_test.sh
                   $<TARGET_FILE:rt_guarded_work> $<TARGET_FILE:orbel-rt-guard>)
endif()
