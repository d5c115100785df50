// Brivet's helper inside GNOME Shell. Mutter tells a program that does not have the focus
// nothing about the clipboard, lets no program type keys or place its own windows; this
// extension does these few things for Brivet, over D-Bus, and keeps everything else (reading
// what matters, storing, the panel's content) in Brivet. Only the process that owns Brivet's
// bus name may call it, checked at every call, so the clipboard stays closed to every other
// program of the session.
'use strict';

const { Clutter, Gio, GLib, Meta, Shell } = imports.gi;
const AltTab = imports.ui.altTab;
const Main = imports.ui.main;
const { Workspace } = imports.ui.workspace;
const { WorkspaceThumbnail } = imports.ui.workspaceThumbnail;

const BUS_NAME = 'com.brivet.Shell';
const OBJECT_PATH = '/com/brivet/Shell';
const INTERFACE_NAME = 'com.brivet.Shell1';
const BRIVET_NAME = 'com.brivet.Brivet';
// The panel: Brivet's window of this title.
const PANEL_TITLE = 'Brivet';
const PANEL_BOTTOM_MARGIN = 8;
// Larger contents are not read: a D-Bus message must stay well under the bus's limit.
const MAX_READ_BYTES = 64 * 1024 * 1024;
const READ_TIMEOUT_MS = 5000;

const INTERFACE = `<node>
  <interface name="${INTERFACE_NAME}">
    <method name="ReadClipboard">
      <arg type="u" name="serial" direction="in"/>
      <arg type="s" name="mimeType" direction="in"/>
      <arg type="ay" name="data" direction="out"/>
    </method>
    <method name="SetClipboard">
      <arg type="s" name="mimeType" direction="in"/>
      <arg type="ay" name="data" direction="in"/>
      <arg type="b" name="onlyIfUnowned" direction="in"/>
      <arg type="b" name="set" direction="out"/>
    </method>
    <method name="FocusedWindow">
      <arg type="t" name="window" direction="out"/>
      <arg type="s" name="appId" direction="out"/>
      <arg type="s" name="appName" direction="out"/>
      <arg type="s" name="wmClass" direction="out"/>
    </method>
    <method name="ActivateWindow">
      <arg type="t" name="window" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <method name="SendPasteKeys">
      <arg type="b" name="withShift" direction="in"/>
    </method>
    <method name="SetToggleShortcut">
      <arg type="s" name="accelerator" direction="in"/>
      <arg type="b" name="bound" direction="out"/>
    </method>
    <signal name="ClipboardChanged">
      <arg type="u" name="serial"/>
      <arg type="as" name="mimeTypes"/>
      <arg type="b" name="own"/>
    </signal>
    <signal name="FocusChanged">
      <arg type="t" name="window"/>
      <arg type="s" name="appId"/>
      <arg type="s" name="appName"/>
      <arg type="s" name="wmClass"/>
    </signal>
    <signal name="WindowClosed">
      <arg type="t" name="window"/>
    </signal>
    <signal name="ToggleActivated"/>
  </interface>
</node>`;

// Only for the end-to-end tests, exported when the shell runs with BRIVET_SHELL_TESTING=1.
const TESTING_INTERFACE = `<node>
  <interface name="${INTERFACE_NAME}.Testing">
    <method name="PressKeys">
      <arg type="au" name="keyvals" direction="in"/>
    </method>
    <method name="HideOverview"/>
    <method name="Screenshot">
      <arg type="s" name="path" direction="in"/>
    </method>
    <method name="ReadsServed">
      <arg type="as" name="mimeTypes" direction="out"/>
    </method>
    <method name="SwitcherTitles">
      <arg type="as" name="titles" direction="out"/>
    </method>
    <method name="FocusedTitle">
      <arg type="s" name="title" direction="out"/>
    </method>
    <method name="WindowFrame">
      <arg type="s" name="title" direction="in"/>
      <arg type="ai" name="frame" direction="out"/>
    </method>
  </interface>
</node>`;

function bytesVariant(bytes) {
    return GLib.Variant.new_tuple([
        GLib.Variant.new_from_bytes(new GLib.VariantType('ay'), bytes, true),
    ]);
}

function windowById(id) {
    const actor = global.get_window_actors().find(a => a.meta_window.get_id() === id);
    return actor ? actor.meta_window : null;
}

class BrivetService {
    constructor() {
        this._connection = Gio.DBus.session;
        this._selection = global.display.get_selection();
        this._serial = 0;
        this._source = null;
        this._ownSource = null;
        this._brivet = null; // the unique name owning BRIVET_NAME
        this._brivetPid = 0;
        this._action = Meta.KeyBindingAction.NONE;
        this._signals = [];
        const testing = GLib.getenv('BRIVET_SHELL_TESTING') === '1';
        // The MIME types read for Brivet, kept for the tests alone.
        this.readsServed = testing ? [] : null;
        this._keyboard = Clutter.get_default_backend().get_default_seat()
            .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);

        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._exported.export(this._connection, OBJECT_PATH);
        if (testing) {
            this._testing = Gio.DBusExportedObject.wrapJSObject(TESTING_INTERFACE,
                new TestingService(this));
            this._testing.export(this._connection, OBJECT_PATH);
        }
        this._watch = Gio.bus_watch_name_on_connection(this._connection, BRIVET_NAME,
            Gio.BusNameWatcherFlags.NONE,
            (connection, name, owner) => this._brivetAppeared(owner),
            () => this._brivetVanished());
        this._listen(this._selection, 'owner-changed',
            (selection, type, source) => this._ownerChanged(type, source));
        this._listen(global.display, 'notify::focus-window', () => this._focusChanged());
        this._listen(global.display, 'window-created', (display, window) => this._windowCreated(window));
        this._listen(global.display, 'accelerator-activated', (display, action) => {
            if (action === this._action && this._action !== Meta.KeyBindingAction.NONE)
                this._emit('ToggleActivated', null);
        });
        this._hidePanelFromSwitchers();
        this._name = Gio.bus_own_name_on_connection(this._connection, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    destroy() {
        Gio.bus_unown_name(this._name);
        Gio.bus_unwatch_name(this._watch);
        this._ungrab();
        this._restoreSwitchers();
        for (const [object, id] of this._signals)
            object.disconnect(id);
        this._signals = [];
        this._testing?.unexport();
        this._exported.unexport();
        this._keyboard.run_dispose();
    }

    _listen(object, signal, handler) {
        this._signals.push([object, object.connect(signal, handler)]);
    }

    _brivetAppeared(owner) {
        this._brivet = owner;
        this._brivetPid = 0;
        this._connection.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetConnectionUnixProcessID', new GLib.Variant('(s)', [owner]),
            new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
                try {
                    const [pid] = connection.call_finish(result).deepUnpack();
                    if (this._brivet === owner)
                        this._brivetPid = pid;
                } catch (error) {
                    log(`brivet: no process id for ${owner}: ${error.message}`);
                }
            });
    }

    _brivetVanished() {
        this._brivet = null;
        this._brivetPid = 0;
        this._ungrab();
    }

    // Signals go to the running Brivet alone, never to the whole bus.
    _emit(name, parameters) {
        if (this._brivet) {
            this._connection.emit_signal(this._brivet, OBJECT_PATH, INTERFACE_NAME, name,
                parameters);
        }
    }

    // Runs handler once the caller is known to be the process that owns Brivet's name now.
    _authorized(invocation, handler) {
        this._connection.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetNameOwner', new GLib.Variant('(s)', [BRIVET_NAME]),
            new GLib.VariantType('(s)'), Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
                let owner = null;
                try {
                    [owner] = connection.call_finish(result).deepUnpack();
                } catch (error) {
                    // Nobody owns the name: nobody may call.
                }
                if (owner === null || owner !== invocation.get_sender()) {
                    invocation.return_dbus_error(`${INTERFACE_NAME}.Error.AccessDenied`,
                        `only the running Brivet (the owner of ${BRIVET_NAME}) may call this`);
                    return;
                }
                try {
                    handler();
                } catch (error) {
                    logError(error, 'brivet');
                    invocation.return_dbus_error(`${INTERFACE_NAME}.Error.Failed`, error.message);
                }
            });
    }

    _ownerChanged(type, source) {
        if (type !== Meta.SelectionType.SELECTION_CLIPBOARD)
            return;
        this._serial = (this._serial + 1) >>> 0;
        this._source = source;
        // Mutter may put a copy of its own in place when an owner quits: only this very
        // source is Brivet's.
        const own = source !== null && source === this._ownSource;
        const mimeTypes = source ? [...new Set(source.get_mimetypes())] : [];
        this._emit('ClipboardChanged', new GLib.Variant('(uasb)', [this._serial, mimeTypes, own]));
    }

    ReadClipboardAsync(parameters, invocation) {
        const [serial, mimeType] = parameters;
        this._authorized(invocation, () => {
            if (serial !== this._serial || !this._source) {
                invocation.return_dbus_error(`${INTERFACE_NAME}.Error.Superseded`,
                    'the clipboard has changed since');
                return;
            }
            this.readsServed?.push(mimeType);
            const stream = Gio.MemoryOutputStream.new_resizable();
            const cancellable = new Gio.Cancellable();
            const timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, READ_TIMEOUT_MS, () => {
                cancellable.cancel();
                return GLib.SOURCE_REMOVE;
            });
            this._selection.transfer_async(Meta.SelectionType.SELECTION_CLIPBOARD, mimeType,
                MAX_READ_BYTES + 1, stream, cancellable, (selection, result) => {
                    if (!cancellable.is_cancelled())
                        GLib.source_remove(timeout);
                    try {
                        selection.transfer_finish(result);
                        stream.close(null);
                    } catch (error) {
                        invocation.return_dbus_error(`${INTERFACE_NAME}.Error.ReadFailed`,
                            error.message);
                        return;
                    }
                    // An owner replaced during the transfer answers with nothing, or a part.
                    if (serial !== this._serial) {
                        invocation.return_dbus_error(`${INTERFACE_NAME}.Error.Superseded`,
                            'the clipboard changed during the read');
                        return;
                    }
                    const bytes = stream.steal_as_bytes();
                    if (bytes.get_size() > MAX_READ_BYTES) {
                        invocation.return_dbus_error(`${INTERFACE_NAME}.Error.TooLarge`,
                            `more than ${MAX_READ_BYTES} bytes`);
                        return;
                    }
                    invocation.return_value(bytesVariant(bytes));
                });
        });
    }

    SetClipboardAsync(parameters, invocation) {
        const [mimeType, data, onlyIfUnowned] = parameters;
        const bytes = new GLib.Bytes(data);
        this._authorized(invocation, () => {
            if (onlyIfUnowned && this._source !== null && this._source !== this._ownSource) {
                invocation.return_value(new GLib.Variant('(b)', [false]));
                return;
            }
            const source = Meta.SelectionSourceMemory.new(mimeType, bytes);
            this._ownSource = source;
            this._selection.set_owner(Meta.SelectionType.SELECTION_CLIPBOARD, source);
            invocation.return_value(new GLib.Variant('(b)', [true]));
        });
    }

    _describe(window) {
        const app = Shell.WindowTracker.get_default().get_window_app(window);
        return [window.get_id(), app ? app.get_id() : '', app ? app.get_name() : '',
            window.get_wm_class() ?? ''];
    }

    _focusChanged() {
        const window = global.display.focus_window;
        if (window)
            this._emit('FocusChanged', new GLib.Variant('(tsss)', this._describe(window)));
    }

    FocusedWindowAsync(parameters, invocation) {
        this._authorized(invocation, () => {
            const window = global.display.focus_window;
            invocation.return_value(new GLib.Variant('(tsss)',
                window ? this._describe(window) : [0, '', '', '']));
        });
    }

    ActivateWindowAsync(parameters, invocation) {
        const [id] = parameters;
        this._authorized(invocation, () => {
            const window = windowById(id);
            if (window)
                Main.activateWindow(window);
            invocation.return_value(new GLib.Variant('(b)', [window !== null]));
        });
    }

    SendPasteKeysAsync(parameters, invocation) {
        const [withShift] = parameters;
        this._authorized(invocation, () => {
            const modifiers = withShift ? [Clutter.KEY_Control_L, Clutter.KEY_Shift_L]
                : [Clutter.KEY_Control_L];
            pressKeys(this._keyboard, modifiers, Clutter.KEY_v);
            invocation.return_value(null);
        });
    }

    _ungrab() {
        if (this._action !== Meta.KeyBindingAction.NONE) {
            global.display.ungrab_accelerator(this._action);
            this._action = Meta.KeyBindingAction.NONE;
        }
    }

    SetToggleShortcutAsync(parameters, invocation) {
        const [accelerator] = parameters;
        this._authorized(invocation, () => {
            this._ungrab();
            if (accelerator !== '') {
                const action = global.display.grab_accelerator(accelerator,
                    Meta.KeyBindingFlags.NONE);
                if (action !== Meta.KeyBindingAction.NONE) {
                    this._action = action;
                    Main.wm.allowKeybinding(Meta.external_binding_name_for_action(action),
                        Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW);
                }
            }
            invocation.return_value(new GLib.Variant('(b)',
                [this._action !== Meta.KeyBindingAction.NONE]));
        });
    }

    _isPanel(window) {
        return this._brivetPid !== 0 && window.get_pid() === this._brivetPid &&
            window.get_title() === PANEL_TITLE;
    }

    // The panel is no window to switch to: the Overview, its workspace thumbnails and the
    // Alt+Tab switchers leave it out.
    _hidePanelFromSwitchers() {
        const service = this;
        this._originals = [
            [Workspace.prototype, '_isOverviewWindow', Workspace.prototype._isOverviewWindow],
            [WorkspaceThumbnail.prototype, '_isOverviewWindow',
                WorkspaceThumbnail.prototype._isOverviewWindow],
        ];
        for (const [owner, name, original] of this._originals) {
            owner[name] = function (window) {
                return !service._isPanel(window) && original.call(this, window);
            };
        }
        const getWindows = AltTab.getWindows;
        this._originals.push([AltTab, 'getWindows', getWindows]);
        AltTab.getWindows = workspace =>
            getWindows(workspace).filter(window => !service._isPanel(window));
    }

    _restoreSwitchers() {
        for (const [owner, name, original] of this._originals)
            owner[name] = original;
        this._originals = [];
    }

    // The panel: at the bottom of the monitor under the pointer, above the other windows; the
    // window that had the focus gets it back when the panel goes.
    _windowCreated(window) {
        const id = window.get_id();
        const closed = window.connect('unmanaged', () => {
            window.disconnect(closed);
            this._emit('WindowClosed', new GLib.Variant('(t)', [id]));
        });
        const actor = window.get_compositor_private();
        if (!actor || window.get_pid() !== this._brivetPid)
            return;
        const previous = global.display.focus_window;
        const firstFrame = actor.connect('first-frame', () => {
            actor.disconnect(firstFrame);
            if (!this._isPanel(window))
                return;
            const monitor = global.display.get_current_monitor();
            const area = global.display.get_monitor_geometry(monitor);
            const frame = window.get_frame_rect();
            window.make_above();
            window.move_frame(true, area.x + Math.round((area.width - frame.width) / 2),
                area.y + area.height - PANEL_BOTTOM_MARGIN - frame.height);
            Main.activateWindow(window);
            const unmanaged = window.connect('unmanaged', () => {
                window.disconnect(unmanaged);
                if (previous && windowById(previous.get_id()) &&
                    global.display.focus_window === null)
                    Main.activateWindow(previous);
            });
        });
    }
}

// Presses the modifiers, taps the key, releases the modifiers, on the virtual keyboard.
function pressKeys(keyboard, modifiers, key) {
    const time = () => GLib.get_monotonic_time();
    for (const modifier of modifiers)
        keyboard.notify_keyval(time(), modifier, Clutter.KeyState.PRESSED);
    keyboard.notify_keyval(time(), key, Clutter.KeyState.PRESSED);
    keyboard.notify_keyval(time(), key, Clutter.KeyState.RELEASED);
    for (const modifier of modifiers.reverse())
        keyboard.notify_keyval(time(), modifier, Clutter.KeyState.RELEASED);
}

// What the end-to-end tests need of the shell; not exported otherwise.
class TestingService {
    constructor(service) {
        this._service = service;
        this._keyboard = service._keyboard;
    }

    ReadsServed() {
        return this._service.readsServed;
    }

    // Each key value pressed and released in turn; modifiers (Control, Shift, Super) stay
    // down until the next key that is not one.
    PressKeys(keyvals) {
        const modifiers = [Clutter.KEY_Control_L, Clutter.KEY_Shift_L, Clutter.KEY_Super_L];
        let held = [];
        for (const keyval of keyvals) {
            if (modifiers.includes(keyval)) {
                held.push(keyval);
                continue;
            }
            pressKeys(this._keyboard, held, keyval);
            held = [];
        }
    }

    // Returns once the shell has started and the Overview it starts in is gone.
    HideOverviewAsync(parameters, invocation) {
        const hide = () => {
            if (!Main.overview.visible) {
                invocation.return_value(null);
                return;
            }
            const hidden = Main.overview.connect('hidden', () => {
                Main.overview.disconnect(hidden);
                invocation.return_value(null);
            });
            Main.overview.hide();
        };
        if (Main.layoutManager._startingUp) {
            const started = Main.layoutManager.connect('startup-complete', () => {
                Main.layoutManager.disconnect(started);
                hide();
            });
        } else {
            hide();
        }
    }

    ScreenshotAsync(parameters, invocation) {
        const [path] = parameters;
        const file = Gio.File.new_for_path(path);
        const stream = file.replace(null, false, Gio.FileCreateFlags.NONE, null);
        new Shell.Screenshot().screenshot(false, stream, (screenshot, result) => {
            try {
                screenshot.screenshot_finish(result);
                stream.close(null);
                invocation.return_value(null);
            } catch (error) {
                invocation.return_dbus_error(`${INTERFACE_NAME}.Error.Failed`, error.message);
            }
        });
    }

    // The windows Alt+Tab offers.
    SwitcherTitles() {
        return AltTab.getWindows(null).map(window => window.get_title());
    }

    FocusedTitle() {
        return global.display.focus_window?.get_title() ?? '';
    }

    WindowFrame(title) {
        const actor = global.get_window_actors().find(a => a.meta_window.get_title() === title);
        if (!actor)
            return [];
        const frame = actor.meta_window.get_frame_rect();
        return [frame.x, frame.y, frame.width, frame.height];
    }
}

class Extension {
    enable() {
        this._service = new BrivetService();
    }

    disable() {
        this._service.destroy();
        this._service = null;
    }
}

function init() {
    return new Extension();
}
