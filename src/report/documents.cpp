#include "src/report/documents.h"

#include "src/common/json_writer.h"

namespace ostrane {

std::string build_detection_report(const MachineIdentity& identity, const Resolution& resolution,
                                   std::size_t profiles_loaded) {
  JsonWriter w;
  w.begin_object();
  w.key("notice");
  w.string(NOTICE);
  w.key("backend");
  w.string(BACKEND);
  w.key("manufacturer");
  w.optional_string(identity.manufacturer);
  w.key("mtm");
  w.optional_string(identity.mtm);
  w.key("display_name");
  w.optional_string(identity.display_name);
  w.key("bios_vendor");
  w.optional_string(identity.record.bios_vendor);
  w.key("bios_version");
  w.optional_string(identity.record.bios_version);
  w.key("bios_release_date");
  w.optional_string(identity.record.bios_release_date);
  w.key("resolution");
  w.string(to_wire(resolution.kind));
  w.key("profile_id");
  if (resolution.profile) {
    w.string(resolution.profile->id);
  } else {
    w.null();
  }
  w.key("profiles_loaded");
  w.number(profiles_loaded);
  w.key("sources");
  w.begin_object();
  const IdentitySources& s = identity.sources;
  w.key("manufacturer");
  w.optional_string(s.manufacturer);
  w.key("mtm");
  w.optional_string(s.mtm);
  w.key("display_name");
  w.optional_string(s.display_name);
  w.key("bios_vendor");
  w.optional_string(s.bios_vendor);
  w.key("bios_version");
  w.optional_string(s.bios_version);
  w.key("bios_release_date");
  w.optional_string(s.bios_release_date);
  w.end_object();
  w.end_object();
  return w.text();
}

std::string build_profile_listing(std::span<const MachineProfile> profiles) {
  JsonWriter w;
  w.begin_object();
  w.key("notice");
  w.string(NOTICE);
  w.key("profiles");
  w.begin_array();
  for (const MachineProfile& p : profiles) {
    w.begin_object();
    w.key("id");
    w.string(p.id);
    w.key("display_name");
    w.string(p.display_name);
    w.key("scope");
    w.string(p.scope == ProfileScope::Model ? "model" : "family");
    w.key("capabilities");
    w.number(p.capabilities.size());
    w.end_object();
  }
  w.end_array();
  w.end_object();
  return w.text();
}

}  // namespace ostrane
