# Tests of the pointer, keyboard and gesture features (their golden rows and deferred-write
# cases join the shared tables through GoldenWire9.cpp and DeferredWrites9.cpp).
quillon_add_test(devio_features_pointer_keyboard_tests THREADED
  SOURCES GestureDecodersTest.cpp GestureTableOnDeviceTest.cpp Notifications9Test.cpp ShortReplies9Test.cpp GoldenWire.cpp
  LIBS devio_features)
quillon_add_test(devio_features_pointer_keyboard_device_tests THREADED SOURCES Watchdogs9Test.cpp
  LIBS devio_device devio_features platform_devices devio_core platform)
quillon_add_test(devio_features_pointer_keyboard_end_to_end_test THREADED SOURCES EndToEnd9Test.cpp
  LIBS devio platform_devices platform quillon_ids)
