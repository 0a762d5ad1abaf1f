# Sidetone, the microphone monitor. The sample arithmetic, the run loop over
# the audio-session seam, the engine's start hand-shake and the channel
# handler are platform-neutral and unit-tested natively against a scripted
# session; they call AppendLog, which the final program (velmo_diagnostics) or
# the test supplies. Windows programs link `velmo_sidetone_runtime`, which adds
# the WASAPI session, the process's engine and the channel.
add_library(velmo_sidetone STATIC
  sidetone_channel.cc
  sidetone_delay_control.cc
  sidetone_dsp.cc
  sidetone_engine.cc
  sidetone_mix_format.cc
  sidetone_resampler.cc
  sidetone_run_loop.cc
  sidetone_statistics.cc
  sidetone_stream.cc
)
target_link_libraries(velmo_sidetone PUBLIC velmo_channels)
find_package(Threads REQUIRED)
target_link_libraries(velmo_sidetone PUBLIC Threads::Threads)

velmo_add_gtest(velmo_sidetone_test
  SOURCES sidetone_dsp_test.cc sidetone_mix_format_test.cc sidetone_run_loop_test.cc sidetone_stream_test.cc sidetone_engine_test.cc
          sidetone_channel_test.cc "${CMAKE_SOURCE_DIR}/testing/sidetone/scripted_session.cc"
  LIBS velmo_sidetone
)

if(WIN32)
  add_library(velmo_sidetone_runtime STATIC
    sidetone_default_device_watch.cc
    sidetone_engine_control.cc
    sidetone_engine_instance.cc
    sidetone_wasapi_session.cc
  )
  target_link_libraries(velmo_sidetone_runtime PUBLIC
    velmo_sidetone velmo_diagnostics velmo_base ole32 uuid avrt)

endif()
