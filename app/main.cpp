#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setObjectName("Form1");
    window.setWindowTitle("MERIDEX --- cdma2000 1x EV-DV Signal Generator Ver.1.2");
    window.resize(900, 640);
    window.show();
    return QApplication::exec();
}
