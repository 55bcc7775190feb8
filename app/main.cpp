// Process entry (replaced by the real start-up).
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
int main(int argc, char* argv[]) {
    auto app = Gtk::Application::create("org.kestrix.Kestrix");
    return app->make_window_and_run<Gtk::ApplicationWindow>(argc, argv);
}
