# Sidetone, the microphone monitor. The sample arithmetic, the run loop over
# the audio-session seam, the engine's start hand-shake and the channel
# handler are platform-neutral and unit-tested natively against a scripted
# session; they call AppendLog, which the final program (velmo_diagnostics) or
# the test supplies. Windows programs link `velmo_sidetone_runtime`, which adds
# the WASAPI session, the process's engine and the channel.
add_library(velmo_sidetone STATIC
  sidetone_channel.cc
  sidetone_delay_control.cc
  sidetone_device_choice.cc
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
  SOURCES sidetone_device_choice_test.cc sidetone_dsp_test.cc sidetone_mix_format_test.cc
          sidetone_run_loop_test.cc sidetone_stream_test.cc sidetone_engine_test.cc
          sidetone_channel_test.cc "${CMAKE_SOURCE_DIR}/testing/sidetone/scripted_session.cc"
  LIBS velmo_sidetone
)

if(WIN32)
  # What the session reads from the audio system: the endpoint it opens, the
  # mix format's fields and the endpoint changes that ask for a reopen.
  # Tested against a scripted enumerator and notifications.
  add_library(velmo_sidetone_endpoint STATIC
    sidetone_default_device_watch.cc
    sidetone_wasapi_endpoint.cc
    sidetone_wasapi_format.cc
  )
  target_link_libraries(velmo_sidetone_endpoint PUBLIC velmo_sidetone ole32 uuid)

  velmo_add_gtest(velmo_sidetone_endpoint_test
    SOURCES sidetone_default_device_watch_test.cc sidetone_wasapi_endpoint_test.cc
    LIBS velmo_sidetone_endpoint
  )

  add_library(velmo_sidetone_runtime STATIC
    sidetone_engine_control.cc
    sidetone_engine_instance.cc
    sidetone_wasapi_session.cc
  )
  target_link_libraries(velmo_sidetone_runtime PUBLIC
    velmo_sidetone_endpoint velmo_diagnostics velmo_base ole32 uuid avrt)

endif()
