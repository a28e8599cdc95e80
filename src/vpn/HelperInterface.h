#pragma once

// The system helper's bus interface, shared by the helper and its client. Every method is
// authorised per call through polkit: the tunnel and the block belong to the user who installed
// or put them, and another user needs an administrator (manageOthersAction); lifting the block
// has an action of its own, which an administrator may keep stricter; the read-only calls never
// ask the member anything.
//
//   Install(s configuration) -> (i exitCode, s errorText)   validates, then installs
//   Remove()                                                removes tunnel and file
//   Transfer() -> (s output)                                the tool's transfer counters
//   Handshakes() -> (s output)                              the peers' latest handshakes
//   PutKillSwitch(as services, b tunnel, as peerEndpoints)   services and peers as address:port
//                                                           ([address]:port for IPv6); the
//                                                           services are open to the caller's
//                                                           user only
//   LiftKillSwitch()
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
