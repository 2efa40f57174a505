// The toolkit's own floor for startup_bench: an empty main window of the Varnika window's size, with the
// same style, and nothing else.
#include <QApplication>
#include <QMainWindow>
#include <QStyleFactory>

#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QMainWindow window;
    window.setWindowTitle("bare window");
    // The Varnika window's size at a first start under Xvfb (1124 x 643).
    window.resize(argc > 2 ? std::atoi(argv[1]) : 1227, argc > 2 ? std::atoi(argv[2]) : 667);
    window.show();
    return QApplication::exec();
}
