// Entry of the wizard's Qt test programs: one QApplication for every test.
#include <QApplication>

#include <gtest/gtest.h>

// Qt and the libraries under it keep caches for the process's life; only those are not leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libQt5Core.so\n"
           "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libQt5XcbQpa.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libdbus-1.so\n"
           "leak:libxcb\n"
           "leak:libX11.so\n"
           "leak:libfreetype.so\n"
           "leak:/usr/lib/x86_64-linux-gnu/qt5/plugins/\n";
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests, or a run without a display, goes offscreen unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The wizard draws no OpenGL. Left alone, Qt's xcb platform loads the machine's GL driver and
    // unloads it before the leak check, whose report then names no library to tell it from ours:
    // the suites would pass or fail by which driver a machine carries.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
