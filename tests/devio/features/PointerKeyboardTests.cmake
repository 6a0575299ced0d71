# Tests of the pointer, keyboard and gesture features (their golden rows and deferred-write
# cases join the shared tables through GoldenWirePointerKeyboard.cpp and
# DeferredWritesPointerKeyboard.cpp).
quillon_add_test(devio_features_pointer_keyboard_tests THREADED
  SOURCES GestureDecodersTest.cpp GestureTableOnDeviceTest.cpp PointerKeyboardNotificationsTest.cpp PointerKeyboardShortRepliesTest.cpp GoldenWire.cpp
  LIBS devio_features)
quillon_add_test(devio_features_pointer_keyboard_device_tests THREADED SOURCES PointerKeyboardWatchdogsTest.cpp
  LIBS devio_device devio_features platform_devices devio_core platform)
quillon_add_test(devio_features_pointer_keyboard_end_to_end_test THREADED SOURCES PointerKeyboardEndToEndTest.cpp
  LIBS devio platform_devices platform quillon_ids)
