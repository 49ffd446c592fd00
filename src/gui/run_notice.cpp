#include "gui/run_notice.h"

#include <gio/gio.h>
#include <wx/log.h>
#include <wx/notifmsg.h>

namespace tarn {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";

// Whether the session bus has a notification service running or can start one.
bool notificationServicePresent() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    g_clear_error(&error);
    return false;
  }
  bool present = false;
  if (GVariant* reply = g_dbus_connection_call_sync(
          bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "NameHasOwner", g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"),
          G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr)) {
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    present = owned != FALSE;
    g_variant_unref(reply);
  }
  if (!present) {
    if (GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 1000,
            nullptr, nullptr)) {
      GVariantIter* names = nullptr;
      g_variant_get(reply, "(as)", &names);
      const gchar* name = nullptr;
      while (!present && g_variant_iter_next(names, "&s", &name)) {
        present = g_strcmp0(name, kService) == 0;
      }
      g_variant_iter_free(names);
      g_variant_unref(reply);
    }
  }
  g_object_unref(bus);
  return present;
}

std::string withoutCarriageReturns(const std::string& text) {
  std::string plain;
  for (char c : text) {
    if (c != '\r') plain += c;
  }
  return plain;
}

}  // namespace

bool RunNotice::messageShown(const std::string& caption, const std::string& text,
                             bool windowActive) {
  if (!start_) return false;
  const auto lasted = clock_() - *start_;
  start_.reset();
  if (windowActive || lasted < kLongRun) return false;
  if (send_) send_(caption, withoutCarriageReturns(text));
  return true;
}

void sendDesktopNotification(wxWindow* parent, const std::string& title, const std::string& body) {
  if (!notificationServicePresent()) return;
  const wxLogNull quiet;  // a refused notification is no error to show
  wxNotificationMessage notice(wxString::FromUTF8(title), wxString::FromUTF8(body), parent);
  notice.Show(wxNotificationMessage::Timeout_Auto);
}

}  // namespace tarn
