// Modal questions and messages: one at a time, in order, keeping the keyboard focus inside while open and
// giving it back where it was.

// `ui`: {dialog, text, yes, no, ok, cancel}, the dialog and its parts. Returns {ask(text), tell(text),
// waitUntil(text, done), isOpen()}: ask answers true for Yes, tell resolves once the message is closed, waitUntil
// shows the text with Cancel until the promise `done` settles and answers false if Cancel came first.
export function createDialogs(ui) {
  let queue = Promise.resolve();

  // One dialog at a time, in order. A dialog that cannot be shown answers No (or OK), and the next still comes.
  // `until`: a wait, with Cancel alone, that ends by itself when `until` settles.
  function showDialog(text, question, until) {
    const shown = queue.then(() => new Promise((resolve) => {
      const returnTo = document.activeElement;
      const finish = (answer) => {
        ui.yes.onclick = ui.no.onclick = ui.ok.onclick = ui.cancel.onclick = ui.dialog.oncancel = null;
        until = null;
        if (ui.dialog.open) ui.dialog.close();
        // Back to where the user was; while the page works, the work's end puts the focus back instead.
        if (returnTo && returnTo.isConnected && !returnTo.disabled && typeof returnTo.focus === 'function') returnTo.focus();
        resolve(answer);
      };
      try {
        ui.text.textContent = text;
        ui.dialog.setAttribute('role', question ? 'dialog' : 'alertdialog');
        ui.yes.hidden = ui.no.hidden = !question;
        ui.ok.hidden = question || Boolean(until);
        ui.cancel.hidden = !until;
        ui.yes.onclick = () => finish(true);
        ui.no.onclick = () => finish(false);
        ui.ok.onclick = () => finish(true);
        ui.cancel.onclick = () => finish(false);
        ui.dialog.oncancel = (event) => { event.preventDefault(); finish(!question && !until); };
        if (until) until.then(() => { if (until) finish(true); }, () => { if (until) finish(true); });
        ui.dialog.showModal();
        // A question starts on No, so that a held Enter never answers it unseen.
        (question ? ui.no : until ? ui.cancel : ui.ok).focus();
      } catch (error) {
        console.error(error);
        finish(!question);
      }
    }));
    queue = shown.then(() => undefined, () => undefined);
    return shown;
  }

  return {
    ask: (text) => showDialog(text, true),
    tell: (text) => showDialog(text, false),
    waitUntil: (text, done) => showDialog(text, false, done),
    isOpen: () => ui.dialog.open,
  };
}
