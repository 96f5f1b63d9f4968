// Replaced by the forms.
