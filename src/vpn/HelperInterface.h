#pragma once

// The names of the system helper's bus interface, shared by the helper and its client. The
// interface itself, each method and error with what it does, is written in
// vpn/org.corvane.Helper1.xml, from which the client's proxy is generated.
namespace HelperInterface {

constexpr char serviceName[] = "org.corvane.Helper1";
constexpr char objectPath[] = "/org/corvane/Helper1";
constexpr char interfaceName[] = "org.corvane.Helper1";
constexpr char polkitAction[] = "org.corvane.helper.manage-tunnel";
constexpr char liftAction[] = "org.corvane.helper.lift-kill-switch";
constexpr char manageOthersAction[] = "org.corvane.helper.manage-others-tunnel";

constexpr char notAuthorizedError[] = "org.corvane.Helper1.Error.NotAuthorized";
constexpr char invalidArgumentsError[] = "org.corvane.Helper1.Error.InvalidArguments";

} // namespace HelperInterface
