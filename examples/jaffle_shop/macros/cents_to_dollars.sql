{% macro cents_to_dollars(column) %}({{ column }} / 100)::numeric(16, 2){% endmacro %}
